// Comma-separated values as spreadsheet programs read them: a field holding a comma, a double
// quote, a line end or blanks at either end is quoted, its quotes doubled; lines end in CR LF.
// The list's export and qob-cli's --csv write their rows through it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

std::string CsvField(std::string_view field);
// The fields, separated by commas, and CR LF.
std::string CsvLine(const std::vector<std::string>& fields);
// The fields of a tab-separated row text, each without the blanks around it.
std::vector<std::string> SplitRowText(std::string_view row);
