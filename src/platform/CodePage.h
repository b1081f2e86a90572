// The system code page: all program text is single-byte text in it; only the configuration file
// (UTF-8) and the user interface's edge convert. Default Windows-1252; QOB_CODEPAGE names another
// (for example CP936 for a Chinese set-up), and a Chinese locale without it selects CP936.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The code page in force, as an iconv name ("WINDOWS-1252", "CP936", ...).
const std::string& CodePageName();
// Selects another code page for this process (tests; empty text restores the default choice).
void SetCodePage(const std::string& name);

// Text in the code page to UTF-16 code units. Bytes the code page does not define map to U+FFFD.
std::u16string CodePageToUtf16(std::string_view text);
// UTF-16 code units to the code page; a unit it cannot represent (a lone surrogate half, a
// character outside the code page) becomes the default character "?".
std::string Utf16ToCodePage(std::u16string_view text);

// Conveniences for the edges (terminal, Qt): real UTF-8 with surrogate pairs joined. Both are
// lenient: what cannot be converted becomes U+FFFD or "?", one for each bad sequence.
std::string CodePageToUtf8(std::string_view text);
std::string Utf8ToCodePage(std::string_view utf8);

// Why an exact conversion refused a text.
struct TextProblem {
    enum Kind { None, InvalidUtf8, Unrepresentable, UndefinedBytes } kind = None;
    size_t offset = 0;         // byte offset of the first bad sequence in the input
    char32_t character = 0;    // Unrepresentable: the character the code page lacks
    // For messages, after the text's name: "is not valid UTF-8 (at byte 1)", "has a character
    // (U+4E2D) that the code page WINDOWS-1252 cannot hold".
    std::string Describe() const;
};

// Exact conversions, for text from outside that must arrive unchanged or not at all: false, with
// the reason, when the input is not valid in its encoding or a character has no place in the
// other (nothing is substituted). A text that converts comes back unchanged the other way.
bool Utf8ToCodePageExact(std::string_view utf8, std::string& out, TextProblem* problem = nullptr);
bool CodePageToUtf8Exact(std::string_view text, std::string& out, TextProblem* problem = nullptr);

}  // namespace platform
