#include "cli/ListOutput.h"

#include <string>

#include "cli/CliFrame.h"
#include "document/CsvText.h"
#include "document/QOBDoc.h"
#include "document/RowText.h"
#include "platform/Strings.h"

namespace {

// One CSV line without its line end: the terminal's lines end as every other line printed.
std::string CsvRow(const std::string& rowText) {
    std::string line = CsvLine(SplitRowText(rowText));
    line.resize(line.size() - 2);
    return line;
}

}  // namespace

void PrintExtensionList(const CQOBDoc& doc, bool csv) {
    if (csv) PrintOut(CsvRow(platform::LoadString(44201)));
    for (const auto& [number, row] : doc.m_extList) PrintOut(csv ? CsvRow(FormatRow(row)) : FormatRow(row));
}
