// Deleting a number on every downloaded site: only its forwarding copies, or every record of it.
#include "document/DeletePrompt.h"
#include "document/QOBDoc.h"
#include "document/RowText.h"
#include "platform/Strings.h"

using platform::FormatString;
using server::ExtSummary;
using server::FieldText;
using server::StoreFieldText;
namespace exttype = server::exttype;

bool CQOBDoc::DeleteEverywhere(const std::string& number, bool* complete) {
    if (complete) *complete = false;
    ExtSummary* row = FindExtRow(number);
    if (!row) {
        Log(LOG_ERROR, FormatString(44624, number));
        return false;
    }
    const uint8_t type = row->ExtensionType;
    if (type != exttype::kPhysical && type != exttype::kVirtual && type != exttype::kWorkgroup && type != exttype::kIp) {
        Log(LOG_ERROR, FormatString(44625, number, ShortTypeWord(type)));
        return false;
    }
    DeleteScopePrompt prompt = MakeDeleteScopePrompt(number, type);
    if (!m_pFrame || !m_pFrame->AskDeleteScope(prompt)) {
        Log(LOG_INFO, FormatString(44620, number));
        return false;
    }
    const bool virtualOnly = prompt.choice == 0;
    // A synchronised number keeps its home's record when only copies go, whatever its type there
    // (after a relocation the new home may hold the extension as a virtual record).
    const server::CZentServ* home =
        row->SyncStatus == 1 ? FindServer(std::string(FieldText(row->HomeServer))) : nullptr;

    bool allDone = true;
    bool homeKept = false;
    for (const auto& conn : m_servers) {
        const ExtSummary* record = conn->FindExt(number);
        if (!record) continue;
        const uint8_t t = record->ExtensionType;
        if (t == exttype::kWireless || t == exttype::kApplication) {
            Log(LOG_ERROR, FormatString(44625, number, ShortTypeWord(t)));
            allDone = false;  // the number is still on that site
            continue;
        }
        if (virtualOnly && (t != exttype::kVirtual || conn.get() == home)) {
            homeKept = homeKept || conn.get() == home;
            continue;
        }
        if (conn->DeleteExt(record)) {
            Log(LOG_INFO, FormatString(44622, number, conn->GetName()));
            if (t == exttype::kWorkgroup) --row->GroupCount;
            else if (t == exttype::kPhysical || t == exttype::kIp) --row->ExtCount;
        } else {
            Log(LOG_INFO, FormatString(44623, number, conn->GetName(), conn->GetLastError()));
            allDone = false;
        }
    }
    Log(LOG_INFO, FormatString(44621, number));
    if (complete) *complete = allDone;
    // The row goes when nothing of the number is left (the counts do not see a kept virtual home).
    if (allDone && !homeKept && row->ExtCount + row->GroupCount == 0) {
        m_extList.erase(std::string(number));
        return true;
    }
    row->SyncStatus = 0;
    StoreFieldText(row->HomeServer, platform::LoadString(44226));
    if (m_pFrame) m_pFrame->UpdateViews(UPDATE_ROW_TEXT, number);
    return false;
}
