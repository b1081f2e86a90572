#include "ui/UiText.h"

#include "platform/CodePage.h"

namespace ui {

QString FromCodePage(std::string_view text) {
    const std::u16string u = platform::CodePageToUtf16(text);
    return QString::fromUtf16(u.data(), static_cast<qsizetype>(u.size()));
}

std::string ToCodePage(const QString& text) {
    return platform::Utf16ToCodePage(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())));
}

bool FitsCodePage(const QString& text) { return FromCodePage(ToCodePage(text)) == text; }

QString LoadQString(uint32_t id) { return FromCodePage(platform::LoadString(id)); }

QString CommandText(uint32_t id) {
    const QString s = LoadQString(id);
    const qsizetype lf = s.indexOf(QLatin1Char('\n'));
    return lf < 0 ? s : s.mid(lf + 1);
}

}  // namespace ui
