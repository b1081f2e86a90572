// The program's string resources: every user-visible text by its resource number, in English or
// Simplified Chinese, returned in the system code page (see CodePage.h).
//
// The language follows the locale (LC_ALL, LC_MESSAGES, LANG: the first one set decides; "zh..."
// selects Chinese) unless SetStringLanguage chose one. A Chinese text that the code page in force
// cannot represent falls back to the English one, so no "?" ever stands in for a whole message.
#pragma once

#include <cstdint>
#include <string>

#include "platform/TextFormat.h"

namespace platform {

enum class StringLanguage { Auto, English, Chinese };

void SetStringLanguage(StringLanguage language);  // Auto: follow the locale again
StringLanguage StringLanguageInForce();           // English or Chinese

// The text of the resource, or an empty string when there is none of that number. The reference
// stays valid for the life of the process.
const std::string& LoadString(uint32_t id);

// The resource used as a printf format with the given arguments (see TextFormat.h).
template <class... Args>
std::string FormatString(uint32_t id, const Args&... args) {
    return FormatText(LoadString(id), args...);
}

}  // namespace platform
