#include "document/Utf8.h"

#include "platform/CodePage.h"

std::string Utf8Encode(std::string_view text) {
    const std::u16string units = platform::CodePageToUtf16(text);
    std::string out;
    out.reserve(units.size() * 3);
    for (char16_t u : units) {
        if (u <= 0x7F) {
            out.push_back(static_cast<char>(u));
        } else if (u <= 0x7FF) {
            out.push_back(static_cast<char>(0xC0 + (u >> 6)));
            out.push_back(static_cast<char>(0x80 + (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 + (u >> 12)));
            out.push_back(static_cast<char>(0x80 + ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 + (u & 0x3F)));
        }
    }
    return out;
}

std::string Utf8Decode(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        auto next = [&](size_t k) -> unsigned {
            return i + k < n ? static_cast<unsigned char>(bytes[i + k]) & 0x3F : 0;
        };
        if ((b & 0xF8) == 0xF0) {
            // Four-byte sequences are never written; one becomes the replacement character. A
            // sequence cut short by the end of the text counts its missing bytes as zero.
            units.push_back(u'\xFFFD');
            i += 4;
        } else if ((b & 0xF0) == 0xE0) {
            units.push_back(static_cast<char16_t>(((b & 0x0F) << 12) | (next(1) << 6) | next(2)));
            i += 3;
        } else if ((b & 0xC0) == 0xC0) {
            units.push_back(static_cast<char16_t>(((b & 0x1F) << 6) | next(1)));
            i += 2;
        } else {
            units.push_back(static_cast<char16_t>(b & 0x7F));
            i += 1;
        }
    }
    return platform::Utf16ToCodePage(units);
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

bool IsStorableText(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 && c != '\t' && c != '\n') return false;
    return Utf8Decode(Utf8Encode(text)) == text;
}
