// The system code page: all program text is single-byte text in it; only the configuration file
// (UTF-8) and the user interface's edge convert. Default Windows-1252; QOB_CODEPAGE names another
// (for example CP936 for a Chinese set-up), and a Chinese locale without it selects CP936.
#pragma once

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

// Conveniences for the edges (terminal, Qt): real UTF-8 with surrogate pairs joined.
std::string CodePageToUtf8(std::string_view text);
std::string Utf8ToCodePage(std::string_view utf8);

}  // namespace platform
