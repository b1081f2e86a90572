// Synchronising one number: the home site keeps the real extension (or group), every other
// downloaded site gets or keeps a forwarding copy along its route to the home, and a number whose
// home moved is relocated onto the new home.
#include <strings.h>

#include <cstring>
#include <vector>

#include "document/CallAborter.h"
#include "document/CommandScope.h"
#include "document/QOBDoc.h"
#include "document/SiteJobs.h"
#include "platform/Strings.h"
#include "platform/TextFormat.h"
#include "platform/Trace.h"
#include "server/ForwardTemplates.h"
#include "server/RecordLayout.h"

using platform::FormatString;
using platform::FormatText;
using server::ExtSummary;
using server::FieldText;
using server::StoreFieldText;
namespace exttype = server::exttype;

namespace {

// The longest forward number a record is sent with (its field holds 20, the server takes 19).
constexpr size_t kMaxDialChars = 19;

template <class... A>
void TraceText(const char* format, const A&... args) {
    platform::Trace(FormatText(format, args...));
}

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

}  // namespace

CQOBDoc::SyncRefusal CQOBDoc::WhyNotSynchronizable(std::string_view number, const std::string& home) const {
    auto it = m_extList.find(number);
    if (it == m_extList.end()) return SyncRefusal::NoRow;
    const ExtSummary& row = it->second;
    if (home == platform::LoadString(44226)) return SyncRefusal::NoHome;
    if (CountExtType(number, exttype::kApplication) > 0) return SyncRefusal::Application;
    const int c0 = CountExtType(number, exttype::kPhysical);
    const int c2 = CountExtType(number, exttype::kWorkgroup);
    const int c4 = CountExtType(number, exttype::kIp);
    if (c0 + c4 > 1) return SyncRefusal::SeveralExtensions;
    if (c0 + c4 == 1 && c2 > 0) return SyncRefusal::ExtensionAndGroup;
    if (home == FieldText(row.HomeServer) && row.SyncStatus == 1) return SyncRefusal::AlreadySynchronized;
    return SyncRefusal::None;
}

bool CQOBDoc::IsSynchronizable(std::string_view number, const std::string& home) const {
    return WhyNotSynchronizable(number, home) == SyncRefusal::None;
}

const MapEntry* CQOBDoc::TraceRouteTo(const SiteRec& site, const std::string& home) const {
    TraceText("Look for the TO server %s in map table...\n", home);
    for (const MapEntry& route : site.Routes) {
        TraceText("Compare with %s.\n", route.Name);
        if (SameName(route.Name, home)) return &route;
    }
    return nullptr;
}

bool CQOBDoc::SyncExtension(const std::string& number, const std::string& homeName, bool* complete) {
    CommandScope scope(*this);
    if (complete) *complete = false;
    std::string home = homeName;
    uint8_t homeType = 0;
    bool ok = false;
    SyncResult result;
    const ExtSummary* found = FindExtRow(number);
    if (!found) {
        Log(LOG_ERROR, FormatString(44649, number));
    } else {
        const ExtSummary row = *found;
        TraceText("Begin to Sync extension %s to server %s.\n", number, home);
        Log(LOG_INFO, FormatString(44650, number, home));
        ok = SyncToHome(number, row, home, homeType, result);
    }

    if (ok) {
        TraceText("Finish sync extension %s to server %s.\n", number, home);
        // Every site points at the new home, but something of the extension stayed behind.
        if (result.incomplete) Log(LOG_WARNING, FormatString(46216, number, home));
        else Log(LOG_INFO, FormatString(44651, number));
        if (complete) *complete = !result.incomplete;
        JournalNumber(number, result.incomplete ? "incomplete" : "done");
        ExtSummary* merged = FindExtRow(number);
        merged->SyncStatus = 1;
        merged->ExtensionType = homeType;
        StoreFieldText(merged->HomeServer, home, 31);
        if (m_pFrame) m_pFrame->UpdateViews(UPDATE_ROW_REFRESH, number);
    } else {
        TraceText("Failed to sync extension %s to server %s.\n", number, home);
        Log(LOG_ERROR, FormatString(result.uncertain ? 46217 : 44652, number));
        JournalNumber(number, result.uncertain ? "uncertain" : Cancelled() ? "cancelled" : "failed");
    }
    return ok;
}

bool CQOBDoc::SyncNumbers(std::vector<SyncRequest>& list, const std::function<void(const SyncRequest&)>& each) {
    CommandScope scope(*this);
    const int total = static_cast<int>(list.size());
    bool all = true;
    int done = 0;
    for (SyncRequest& r : list) {
        if (Cancelled()) break;
        Status(FormatString(46212, r.number, done + 1, total));
        if (m_pFrame) m_pFrame->ShowProgress(done, total);
        r.ok = SyncExtension(r.number, r.home, &r.complete);
        r.done = true;
        ++done;
        all = all && r.ok && r.complete;
        if (each) each(r);
    }
    if (m_pFrame) m_pFrame->ShowProgress(0, 0);
    if (Cancelled()) {
        all = false;
        Log(LOG_INFO, FormatString(46201, done, total));
        for (const SyncRequest& r : list)
            if (!r.done) {
                Log(LOG_INFO, FormatString(46202, r.number));
                JournalNumber(r.number, "cancelled");
            }
    }
    return all;
}

bool CQOBDoc::SyncToHome(const std::string& number, const ExtSummary& row, std::string& home, uint8_t& homeType,
                         SyncResult& result) {
    const uint32_t flags = CompareExtNames(number);
    if (flags & 0x2) {
        Log(LOG_ERROR, FormatString(44653, number));
        return false;
    }
    if (flags & 0x20) {
        Log(LOG_ERROR, FormatString(44654, number));
        return false;
    }
    if (flags & 0x200) {
        Log(LOG_ERROR, FormatString(44655, number));
        return false;
    }
    server::CZentServ* homeConn = FindServer(home);
    if (!homeConn) {
        Log(LOG_ERROR, FormatString(44656, home));
        return false;
    }
    // From here the home is the site's own name, whatever case it was given in.
    home = homeConn->GetName();
    const ExtSummary* homeRecord = homeConn->FindExt(FieldText(row.ExtensionNumber));
    if (!homeRecord) {
        Log(LOG_ERROR, FormatString(44657, number, home));
        return false;
    }
    // What may not be synchronised is not, whoever asks (a group's agents are checked with it).
    switch (WhyNotSynchronizable(number, home)) {
    case SyncRefusal::Application: Log(LOG_ERROR, FormatString(46007, number)); return false;
    case SyncRefusal::SeveralExtensions: Log(LOG_ERROR, FormatString(46008, number)); return false;
    case SyncRefusal::ExtensionAndGroup: Log(LOG_ERROR, FormatString(46009, number)); return false;
    case SyncRefusal::NoHome:
    case SyncRefusal::NoRow: Log(LOG_ERROR, FormatString(46010, number)); return false;
    case SyncRefusal::None:
    case SyncRefusal::AlreadySynchronized: break;
    }

    homeType = homeRecord->ExtensionType;
    if (homeType == exttype::kVirtual && row.ExtCount * row.GroupCount == 0) {
        if (row.GroupCount > 0) homeType = exttype::kWorkgroup;
        else if (row.ExtCount > 0) homeType = exttype::kPhysical;
    }
    const ExtSummary homeCopy = *homeRecord;

    // Another site's own handset (wireless) of that number is not this program's to turn into a
    // copy: the number fails before anything is sent.
    for (const auto& conn : m_servers) {
        const ExtSummary* held = conn.get() == homeConn ? nullptr : conn->FindExt(number);
        if (held && held->ExtensionType == exttype::kWireless) {
            Log(LOG_ERROR, FormatString(46206, number, conn->GetName()));
            return false;
        }
    }

    // The home first: rewritten and, when it moved, relocated, before any other site is turned
    // into a copy of it; a failure there touches no other site.
    bool ok = true;
    auto settle = [&](server::CZentServ* conn) {
        if (ExtSummary* s = conn->FindSummary(number)) {
            StoreFieldText(s->HomeServer, home, 32);
            s->SyncStatus = 1;
        }
    };
    {
        const std::string site = homeConn->GetName();
        if (GetSiteIndex(site) < 0) {
            // A home that is not in the map table is not written: no other site may be turned
            // into a copy of it.
            TraceText("Could not find the FROM server %s in Map Table.\n", site);
            Log(LOG_ERROR, FormatString(44658, site));
            return false;
        } else {
            if (Cancelled()) {
                Log(LOG_INFO, FormatString(46203, number, site));
                return false;
            }
            document::CCallAborter::Busy busy(m_pAborter.get(), homeConn);
            ExtSummary own = *homeConn->FindExt(number);
            // A home whose record still forwards (a stale copy, which names its own site as home)
            // becomes the site's own extension again: the chosen home must end as the real one.
            const server::ConstExtRec ownRecord = homeConn->FindExtRec(number);
            const uint32_t copyMask = server::extrec::kForwardingCopyMask;
            if (ownRecord && (ownRecord.ExtFeatureFlagBank() & copyMask) == copyMask && FieldText(own.HomeServer) == site)
                StoreFieldText(own.HomeServer, "", 32);
            server::CZentServ* oldHome = FindServer(std::string(FieldText(row.HomeServer)));
            const bool lostBefore = homeConn->ConnectionLost();
            if (row.SyncStatus == 1 && oldHome && oldHome != homeConn && m_bRelocation) {
                // The relocation rewrites the record itself (it stops forwarding as it takes the
                // old home's settings): a refusal leaves the new home as it was.
                Log(LOG_INFO, FormatString(m_bRelocateVM ? 44632 : 44633, number, oldHome->GetName(), site));
                // The relocation reads the old home: a stop aborts its calls too.
                document::CCallAborter::Busy oldBusy(m_pAborter.get(), oldHome);
                if (!homeConn->RelocateExt(number, oldHome, m_bRelocateVM)) {
                    TraceText("Failed to relocate extension %s in server %s.\n", number, site);
                    result.uncertain = !lostBefore && homeConn->ConnectionLost();
                    Log(LOG_ERROR, FormatString(result.uncertain ? 46215 : 44661, number, site) + "\t" +
                                       homeConn->GetLastError());
                    // The other sites would forward to a home that did not receive the extension.
                    return false;
                }
                // What did not arrive: one warning each, and the number is not done.
                const std::string warnings = homeConn->GetLastError();
                for (size_t at = 0; at < warnings.size();) {
                    size_t end = warnings.find('\n', at);
                    if (end == std::string::npos) end = warnings.size();
                    if (end > at) Log(LOG_WARNING, "\t" + warnings.substr(at, end - at));
                    at = end + 1;
                }
                result.incomplete = !warnings.empty();
            } else if (!homeConn->ReplaceExt(&own, homeConn)) {
                TraceText("Failed to modify extension %s in server %s.\n", number, site);
                result.uncertain = !lostBefore && homeConn->ConnectionLost();
                Log(LOG_ERROR, FormatString(result.uncertain ? 46215 : 44660, number, site) + "\t" +
                                   homeConn->GetLastError());
                return false;
            }
            settle(homeConn);
        }
    }

    // Then every other site, side by side: what each is sent is decided here, the calls run on
    // the sites' own threads, and what they answered is logged in download order. A site that
    // fails does not keep the others from their copies; the number fails.
    struct Copy {
        server::CZentServ* conn;
        std::string before;  // what is logged ahead of the call, when the site is not sent anything
        bool send = false;
        bool add = false;
        ExtSummary record{};
        bool ran = false;
        bool done = false;
        bool uncertain = false;  // the call may have reached the site: its answer was lost
        std::string error;
    };
    std::vector<Copy> copies;
    copies.reserve(m_servers.size());
    for (const auto& owned : m_servers) {
        server::CZentServ* conn = owned.get();
        if (conn == homeConn) continue;
        Copy& c = copies.emplace_back();
        c.conn = conn;
        const std::string site = conn->GetName();
        const int siteIndex = GetSiteIndex(site);
        if (siteIndex < 0) {
            TraceText("Could not find the FROM server %s in Map Table.\n", site);
            c.before = FormatString(44658, site);
            continue;
        }
        const MapEntry* route = TraceRouteTo(m_sites[size_t(siteIndex)], home);
        if (!route) {
            TraceText("Could not find the TO server %s.\n", home);
            c.before = FormatString(44662, home);
            continue;
        }
        const std::string dial = BuildForwardNumber(route->FwdPattern, number);
        if (dial.size() > kMaxDialChars) {
            c.before = FormatString(46011, dial, number, site);
            continue;
        }
        c.send = true;
        const ExtSummary* existing = conn->FindExt(number);
        c.add = !existing;
        if (c.add) {
            ExtSummary& copy = c.record;
            copy = row;
            copy.ExtensionType = homeType == exttype::kWorkgroup ? exttype::kWorkgroup : exttype::kVirtual;
            std::memcpy(copy.ExtFirstName, homeCopy.ExtFirstName, sizeof copy.ExtFirstName);
            std::memcpy(copy.ExtName, homeCopy.ExtName, sizeof copy.ExtName);
            std::memcpy(copy.EMailName, homeCopy.EMailName, sizeof copy.EMailName);
            std::memcpy(copy.ExtPassword, homeCopy.ExtPassword, sizeof copy.ExtPassword);
            StoreFieldText(copy.FwdDialString, dial, 20);
            StoreFieldText(copy.FwdEmailAddr,
                           BuildMailForward(route->VMAPostfix, std::string(FieldText(homeCopy.EMailName))), 64);
        } else {
            ExtSummary& rewritten = c.record;
            rewritten = *existing;
            StoreFieldText(rewritten.FwdDialString, dial, 20);
            StoreFieldText(rewritten.FwdEmailAddr,
                           BuildMailForward(route->VMAPostfix, std::string(FieldText(existing->EMailName))), 64);
            std::memcpy(rewritten.ExtPassword, homeCopy.ExtPassword, sizeof rewritten.ExtPassword);
        }
    }

    auto send = [&](size_t i) {
        Copy& c = copies[i];
        if (!c.send || Cancelled()) return;
        c.ran = true;
        document::CCallAborter::Busy busy(m_pAborter.get(), c.conn);
        const bool lostBefore = c.conn->ConnectionLost();
        c.done = c.add ? c.conn->AddExt(&c.record, homeConn) : c.conn->ReplaceExt(&c.record, homeConn);
        c.uncertain = !c.done && !lostBefore && c.conn->ConnectionLost();
        c.error = c.conn->GetLastError();
    };
    document::CSiteJobs jobs(copies.size(), ChangeJobs(), m_stop, send);
    for (size_t i = 0; i < copies.size(); ++i) {
        Copy& c = copies[i];
        const std::string site = c.conn->GetName();
        jobs.Wait(i, [&] { Status(FormatString(46213, number, site)); });
        if (!c.send) {
            ok = false;
            Log(LOG_ERROR, c.before);
            continue;
        }
        if (!c.ran) {
            ok = false;
            Log(LOG_INFO, FormatString(46203, number, site));
            continue;
        }
        if (!c.done) {
            ok = false;
            TraceText(c.add ? "Failed to add extension %s to server %s.\n" : "Failed to modify extension %s in server %s.\n",
                      number, site);
            result.uncertain = result.uncertain || c.uncertain;
            Log(LOG_ERROR, FormatString(c.uncertain ? 46215 : c.add ? 44659 : 44660, number, site) + "\t" + c.error);
            continue;
        }
        if (c.add && !c.error.empty()) Log(LOG_WARNING, "\t" + c.error);
        settle(c.conn);
    }
    return ok;
}
