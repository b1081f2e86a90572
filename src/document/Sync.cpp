// Synchronising one number: the home site keeps the real extension (or group), every other
// downloaded site gets or keeps a forwarding copy along its route to the home, and a number whose
// home moved is relocated onto the new home.
#include <strings.h>

#include <cstring>
#include <vector>

#include "document/QOBDoc.h"
#include "platform/Strings.h"
#include "platform/TextFormat.h"
#include "platform/Trace.h"
#include "server/ForwardTemplates.h"

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

bool CQOBDoc::SyncExtension(const std::string& number, const std::string& homeName) {
    std::string home = homeName;
    uint8_t homeType = 0;
    bool ok = false;
    const ExtSummary* found = FindExtRow(number);
    if (!found) {
        Log(LOG_ERROR, FormatString(44649, number));
    } else {
        const ExtSummary row = *found;
        TraceText("Begin to Sync extension %s to server %s.\n", number, home);
        Log(LOG_INFO, FormatString(44650, number, home));
        ok = SyncToHome(number, row, home, homeType);
    }

    if (ok) {
        TraceText("Finish sync extension %s to server %s.\n", number, home);
        Log(LOG_INFO, FormatString(44651, number));
        ExtSummary* merged = FindExtRow(number);
        merged->SyncStatus = 1;
        merged->ExtensionType = homeType;
        StoreFieldText(merged->HomeServer, home, 31);
        if (m_pFrame) m_pFrame->UpdateViews(UPDATE_ROW_REFRESH, number);
    } else {
        TraceText("Failed to sync extension %s to server %s.\n", number, home);
        Log(LOG_ERROR, FormatString(44652, number));
    }
    return ok;
}

bool CQOBDoc::SyncNumbers(std::vector<SyncRequest>& list, const std::function<void(const SyncRequest&)>& each) {
    bool all = true;
    for (SyncRequest& r : list) {
        if (Cancelled()) {
            all = false;
            break;
        }
        r.ok = SyncExtension(r.number, r.home);
        r.done = true;
        all = all && r.ok;
        if (each) each(r);
    }
    return all;
}

bool CQOBDoc::SyncToHome(const std::string& number, const ExtSummary& row, std::string& home, uint8_t& homeType) {
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

    // The home first: rewritten and, when it moved, relocated, before any other site is turned
    // into a copy of it; then the others in download order.
    std::vector<server::CZentServ*> order{homeConn};
    for (const auto& conn : m_servers)
        if (conn.get() != homeConn) order.push_back(conn.get());

    bool ok = true;
    for (server::CZentServ* conn : order) {
        const std::string site = conn->GetName();
        const int siteIndex = GetSiteIndex(site);
        if (siteIndex < 0) {
            ok = false;
            TraceText("Could not find the FROM server %s in Map Table.\n", site);
            Log(LOG_ERROR, FormatString(44658, site));
            continue;
        }
        if (conn == homeConn) {
            const ExtSummary* own = conn->FindExt(number);
            if (!conn->ReplaceExt(own, homeConn)) {
                TraceText("Failed to modify extension %s in server %s.\n", number, site);
                Log(LOG_ERROR, FormatString(44660, number, site) + "\t" + conn->GetLastError());
                return false;
            }
            server::CZentServ* oldHome = FindServer(std::string(FieldText(row.HomeServer)));
            if (row.SyncStatus == 1 && oldHome && oldHome != conn && m_bRelocation) {
                Log(LOG_INFO, FormatString(m_bRelocateVM ? 44632 : 44633, number, oldHome->GetName(), site));
                if (!conn->RelocateExt(number, oldHome, m_bRelocateVM)) {
                    TraceText("Failed to relocate extension %s in server %s.\n", number, site);
                    Log(LOG_ERROR, FormatString(44661, number, site) + "\t" + conn->GetLastError());
                    // The other sites would forward to a home that did not receive the extension.
                    return false;
                }
                if (!conn->GetLastError().empty()) Log(LOG_WARNING, "\t" + conn->GetLastError());
            }
        } else {
            const MapEntry* route = TraceRouteTo(m_sites[size_t(siteIndex)], home);
            if (!route) {
                ok = false;
                TraceText("Could not find the TO server %s.\n", home);
                Log(LOG_ERROR, FormatString(44662, home));
                continue;
            }
            const std::string dial = BuildForwardNumber(route->FwdPattern, number);
            if (dial.size() > kMaxDialChars) {
                ok = false;
                Log(LOG_ERROR, FormatString(46011, dial, number, site));
                continue;
            }
            const ExtSummary* existing = conn->FindExt(number);
            if (!existing) {
                ExtSummary copy = row;
                copy.ExtensionType = homeType == exttype::kWorkgroup ? exttype::kWorkgroup : exttype::kVirtual;
                std::memcpy(copy.ExtFirstName, homeCopy.ExtFirstName, sizeof copy.ExtFirstName);
                std::memcpy(copy.ExtName, homeCopy.ExtName, sizeof copy.ExtName);
                std::memcpy(copy.EMailName, homeCopy.EMailName, sizeof copy.EMailName);
                std::memcpy(copy.ExtPassword, homeCopy.ExtPassword, sizeof copy.ExtPassword);
                StoreFieldText(copy.FwdDialString, dial, 20);
                StoreFieldText(copy.FwdEmailAddr,
                               BuildMailForward(route->VMAPostfix, std::string(FieldText(homeCopy.EMailName))), 64);
                if (!conn->AddExt(&copy, homeConn)) {
                    TraceText("Failed to add extension %s to server %s.\n", number, site);
                    Log(LOG_ERROR, FormatString(44659, number, site) + "\t" + conn->GetLastError());
                    return false;
                }
                if (!conn->GetLastError().empty()) Log(LOG_WARNING, "\t" + conn->GetLastError());
            } else {
                ExtSummary rewritten = *existing;
                StoreFieldText(rewritten.FwdDialString, dial, 20);
                StoreFieldText(rewritten.FwdEmailAddr,
                               BuildMailForward(route->VMAPostfix, std::string(FieldText(existing->EMailName))), 64);
                std::memcpy(rewritten.ExtPassword, homeCopy.ExtPassword, sizeof rewritten.ExtPassword);
                if (!conn->ReplaceExt(&rewritten, homeConn)) {
                    TraceText("Failed to modify extension %s in server %s.\n", number, site);
                    Log(LOG_ERROR, FormatString(44660, number, site) + "\t" + conn->GetLastError());
                    return false;
                }
            }
        }
        if (ExtSummary* s = conn->FindSummary(number)) {
            StoreFieldText(s->HomeServer, home, 32);
            s->SyncStatus = 1;
        }
    }
    return ok;
}
