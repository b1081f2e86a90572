// Deleting a number on every downloaded site: only its forwarding copies, or every record of it.
#include "document/CallAborter.h"
#include "document/CommandScope.h"
#include "document/DeletePrompt.h"
#include "document/QOBDoc.h"
#include "document/RowText.h"
#include "document/SiteJobs.h"
#include "platform/Strings.h"

using platform::FormatString;
using server::ExtSummary;
using server::FieldText;
using server::StoreFieldText;
namespace exttype = server::exttype;

bool CQOBDoc::DeleteEverywhere(const std::string& number, bool* complete) {
    CommandScope scope(*this);
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

    // Copies go first, side by side; the sites' own records (the home's) last, and only when every
    // copy went: a copy left behind must not forward to a number that is gone.
    struct Target {
        server::CZentServ* conn;
        const ExtSummary* record;
        uint8_t type;
        bool ran = false;
        bool ok = false;
        bool uncertain = false;  // the answer was lost: the deletion may have been made
        std::string error;
    };
    std::vector<Target> copies, owners;
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
        (t == exttype::kVirtual && conn.get() != home ? copies : owners).push_back({conn.get(), record, t, false, false, false, {}});
    }
    bool copyLeft = false;
    bool uncertain = false;
    auto remove = [&](std::vector<Target>& targets, bool areCopies) {
        document::CSiteJobs jobs(targets.size(), ChangeJobs(), m_stop, [&](size_t i) {
            if (Cancelled()) return;
            Target& d = targets[i];
            d.ran = true;
            document::CCallAborter::Busy busy(m_pAborter.get(), d.conn);
            const bool lostBefore = d.conn->ConnectionLost();
            d.ok = d.conn->DeleteExt(d.record);
            d.uncertain = !d.ok && !lostBefore && d.conn->ConnectionLost();
            d.error = d.conn->GetLastError();
        });
        for (size_t i = 0; i < targets.size(); ++i) {
            Target& d = targets[i];
            const std::string site = d.conn->GetName();
            jobs.Wait(i, [&] { Status(FormatString(46214, number, site)); });
            if (!d.ran) {
                Log(LOG_INFO, FormatString(46204, number, site));
            } else if (d.ok) {
                Log(LOG_INFO, FormatString(44622, number, site));
                if (d.type == exttype::kWorkgroup) --row->GroupCount;
                else if (d.type == exttype::kPhysical || d.type == exttype::kIp) --row->ExtCount;
                continue;
            } else {
                Log(LOG_INFO, FormatString(d.uncertain ? 46218 : 44623, number, site, d.error));
                uncertain = uncertain || d.uncertain;
            }
            allDone = false;
            copyLeft = copyLeft || areCopies;
        }
    };
    remove(copies, true);
    if (copyLeft) {
        for (const Target& d : owners) Log(LOG_ERROR, FormatString(46205, number, d.conn->GetName()));
        allDone = allDone && owners.empty();
    } else {
        remove(owners, false);
    }
    Log(LOG_INFO, FormatString(44621, number));
    // The outcome of the number in one line: what the lines above amount to.
    if (!allDone) Log(LOG_ERROR, FormatString(uncertain ? 46220 : 46219, number));
    if (complete) *complete = allDone;
    JournalNumber(number, allDone ? "done" : uncertain ? "uncertain" : Cancelled() ? "cancelled" : "failed");
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
