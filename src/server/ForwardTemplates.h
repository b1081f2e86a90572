// The rules that turn a route into the values a forwarding copy of an extension carries on a site
// that is not its home, and the checks that such values are right.
#pragma once

#include <string>
#include <string_view>

// Pattern with the number in place of its first N (or n; appended when it has none): 9N -> 91234.
std::string BuildForwardNumber(const std::string& pattern, const std::string& extNumber);
bool MatchForwardNumber(std::string_view value, std::string_view pattern, std::string_view extNumber);
// e-mail name "@" suffix (a leading "@" of the suffix is not doubled).
std::string BuildMailForward(const std::string& suffix, const std::string& emailName);
// The matches allocate nothing: the matching asks them for every number on every site.
bool MatchMailForward(std::string_view address, std::string_view suffix, std::string_view emailName);

// Removes leading and trailing blanks, tabs, carriage returns and line feeds.
std::string TrimBlanks(const std::string& text);
// Equal texts ignoring the case of ASCII letters, as names and mail addresses are compared.
bool EqualNoCase(std::string_view a, std::string_view b);
