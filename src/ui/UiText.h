// The user interface's edge with the rest of the program: program text is single-byte text in the
// system code page, Qt's is Unicode. Every visible text comes from the string table.
#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Strings.h"

namespace ui {

QString FromCodePage(std::string_view text);
std::string ToCodePage(const QString& text);
// True when the text survives the way into the code page and back unchanged.
bool FitsCodePage(const QString& text);

// A string resource, converted.
QString LoadQString(uint32_t id);
template <class... Args>
QString FormatQString(uint32_t id, const Args&... args) {
    return FromCodePage(platform::FormatString(id, args...));
}
// The part of a command's string after its line break (the text a menu shows).
QString CommandText(uint32_t id);

}  // namespace ui
