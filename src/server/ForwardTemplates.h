// The rules that turn a route into the values a forwarding copy of an extension carries on a site
// that is not its home, and the checks that such values are right.
#pragma once

#include <string>
#include <string_view>

// Pattern with the number in place of its first N (or n; appended when it has none): 9N -> 91234.
std::string BuildForwardNumber(const std::string& pattern, const std::string& extNumber);
bool MatchForwardNumber(const std::string& value, const std::string& pattern, const std::string& extNumber);
// e-mail name "@" suffix (a leading "@" of the suffix is not doubled).
std::string BuildMailForward(const std::string& suffix, const std::string& emailName);
bool MatchMailForward(const std::string& address, const std::string& suffix, const std::string& emailName);

// Removes leading and trailing blanks, tabs, carriage returns and line feeds.
std::string TrimBlanks(const std::string& text);
// Equal texts ignoring the case of ASCII letters, as names and mail addresses are compared.
bool EqualNoCase(std::string_view a, std::string_view b);
