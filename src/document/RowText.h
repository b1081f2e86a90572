// The extension list's text of a merged row and the words it is made of, free of any toolkit so
// that the list view and qob-cli show the same thing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "server/ExtSummary.h"

// The home site of a row whose home could not be determined.
constexpr uint32_t kUnknownHomeString = 44226;

// String numbers of the Type column's word and of the Home Server editor's word for a type code;
// any code above 5 is unknown.
uint32_t ShortTypeWordString(unsigned typeCode);
uint32_t DetailedTypeWordString(unsigned typeCode);
// "Synchronized" for status 1, otherwise "Unsynchronized".
uint32_t StatusWordString(unsigned syncStatus);

std::string ShortTypeWord(unsigned typeCode);
std::string DetailedTypeWord(unsigned typeCode);
std::string StatusWord(unsigned syncStatus);

// A server-supplied text as one cell: tabs, carriage returns and line feeds become blanks, so the
// text cannot end the cell or the row.
std::string CellText(std::string_view text);

// The row's text, tab-separated: number, short type word, first, last and e-mail name, status
// word, home site, extension count, group count. An empty text shows as one blank.
std::string FormatRow(const server::ExtSummary& row);
