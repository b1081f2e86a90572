// The configuration file's text conversions: code page <-> UTF-8 (each UTF-16 unit encoded on its
// own, as the file has always been written) and the XML escaping of values.
#pragma once

#include <string>
#include <string_view>

std::string Utf8Encode(std::string_view codePageText);
std::string Utf8Decode(std::string_view utf8);
std::string XmlEscape(std::string_view text);

// True when the text comes back unchanged from the file: every character survives the code page and
// UTF-8 round trip, and none is one that XML forbids or normalises away (NUL, control characters
// other than tab and line feed, carriage return).
bool IsStorableText(std::string_view codePageText);
