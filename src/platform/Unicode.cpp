#include "platform/Unicode.h"

namespace platform {

namespace {

// UTF-16 units to UTF-8, surrogate pairs joined; a lone half gives U+FFFD, or false when exact.
bool UnitsToUtf8(std::u16string_view units, std::string& out, bool exact) {
    out.clear();
    out.reserve(units.size() * 3);
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            if (exact) return false;
            cp = kReplacementCharacter;
        }
        AppendUtf8(out, cp);
    }
    return true;
}

}  // namespace

bool DecodeUtf8(std::string_view text, size_t i, char32_t& cp, size_t& length) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    length = 1;
    size_t need;
    char32_t min;
    if (b < 0x80) {
        cp = b;
        return true;
    } else if (b >= 0xC2 && b <= 0xDF) {
        need = 1, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3, cp = b & 0x07, min = 0x10000;
    } else {
        return false;
    }
    for (size_t k = 1; k <= need; ++k) {
        if (i + k >= text.size()) return false;
        const unsigned char c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return false;
        // The second byte already shows an overlong form, a surrogate or a value past U+10FFFF:
        // refuse there, so the bytes after it are read afresh.
        if (k == 1) {
            const unsigned second = c & 0x3F;
            if ((b == 0xE0 && second < 0x20) || (b == 0xED && second >= 0x20) || (b == 0xF0 && second < 0x10) ||
                (b == 0xF4 && second >= 0x10))
                return false;
        }
        cp = (cp << 6) | (c & 0x3F);
        length = k + 1;
    }
    return cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

bool Utf8ToUtf16(std::string_view utf8, std::u16string& out) {
    out.clear();
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        size_t length = 1;
        if (!DecodeUtf8(utf8, i, cp, length)) return false;
        AppendUtf16(out, cp);
        i += length;
    }
    return true;
}

std::u16string Utf8ToUtf16Lenient(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        size_t length = 1;
        if (!DecodeUtf8(utf8, i, cp, length)) cp = kReplacementCharacter;
        AppendUtf16(out, cp);
        i += length;
    }
    return out;
}

bool Utf16ToUtf8(std::u16string_view units, std::string& out) { return UnitsToUtf8(units, out, true); }

std::string Utf16ToUtf8Lenient(std::u16string_view units) {
    std::string out;
    UnitsToUtf8(units, out, false);
    return out;
}

}  // namespace platform
