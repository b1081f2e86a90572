#include "document/RowText.h"

#include "platform/Strings.h"

using platform::LoadString;

uint32_t ShortTypeWordString(unsigned typeCode) {
    switch (typeCode) {
        case server::exttype::kVirtual: return 44221;
        case server::exttype::kWorkgroup: return 44219;
        case server::exttype::kPhysical:
        case server::exttype::kWireless:
        case server::exttype::kIp:
        case server::exttype::kApplication: return 44215;
        default: return 44221;
    }
}

uint32_t DetailedTypeWordString(unsigned typeCode) {
    switch (typeCode) {
        case server::exttype::kPhysical: return 44216;
        case server::exttype::kVirtual: return 44218;
        case server::exttype::kWorkgroup: return 44219;
        case server::exttype::kWireless: return 44220;
        case server::exttype::kIp: return 44217;
        case server::exttype::kApplication: return 44222;
        default: return 44221;
    }
}

uint32_t StatusWordString(unsigned syncStatus) { return syncStatus == 1 ? 44223 : 44224; }

std::string ShortTypeWord(unsigned typeCode) { return LoadString(ShortTypeWordString(typeCode)); }
std::string DetailedTypeWord(unsigned typeCode) { return LoadString(DetailedTypeWordString(typeCode)); }
std::string StatusWord(unsigned syncStatus) { return LoadString(StatusWordString(syncStatus)); }

std::string CellText(std::string_view text) {
    std::string cell(text);
    for (char& c : cell)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return cell;
}

std::string FormatRow(const server::ExtSummary& row) {
    using server::FieldText;
    return platform::FormatText("%s\t%1s\t%1s\t%1s\t%1s\t%1s\t%1s\t%1d\t%1d", CellText(FieldText(row.ExtensionNumber)),
                                ShortTypeWord(row.ExtensionType), CellText(FieldText(row.ExtFirstName)),
                                CellText(FieldText(row.ExtName)), CellText(FieldText(row.EMailName)),
                                StatusWord(row.SyncStatus), CellText(FieldText(row.HomeServer)), row.ExtCount,
                                row.GroupCount);
}
