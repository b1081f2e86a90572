// UTF-8 and UTF-16 as the Unicode standard defines them, one character at a time or whole texts:
// overlong forms, surrogate code points in UTF-8, values past U+10FFFF and lone surrogate halves
// are malformed. Code pages are CodePage's business.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The UTF-8 sequence at text[i]: true with its code point and length, or false with `length` the
// bytes of the longest start that could still have been valid (at least one), so that a lenient
// reader replaces each broken sequence once and reads what follows afresh.
bool DecodeUtf8(std::string_view text, size_t i, char32_t& cp, size_t& length);
void AppendUtf8(std::string& out, char32_t cp);
void AppendUtf16(std::u16string& out, char32_t cp);

// Whole texts. Exact: false on malformed input. Lenient: U+FFFD for each malformed sequence.
bool Utf8ToUtf16(std::string_view utf8, std::u16string& out);
bool Utf16ToUtf8(std::u16string_view units, std::string& out);
std::u16string Utf8ToUtf16Lenient(std::string_view utf8);
std::string Utf16ToUtf8Lenient(std::u16string_view units);

}  // namespace platform
