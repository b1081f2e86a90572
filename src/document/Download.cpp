// Downloading the chosen sites: connect and check each one, validate the map table against the
// live servers, load every site's extensions, then match them into one list.
#include <strings.h>

#include "document/QOBDoc.h"
#include "platform/Strings.h"
#include "server/ForwardTemplates.h"
#include "connection/SPDCOM.h"

using platform::FormatString;
using platform::LoadString;

bool CQOBDoc::Download() {
    DestroyServers();
    m_bDownloaded = false;

    // The connection being checked when the download gives up is destroyed first (its relocator
    // closes while its interfaces are still held), then the ones already made, in order.
    std::unique_ptr<server::CZentServ> conn;
    auto giveUp = [this, &conn] {
        conn.reset();
        DestroyServers();
        return false;
    };
    // Each site counts twice: connecting and checking it, then loading its lists.
    const int steps = static_cast<int>(m_selServers.size()) * 2;
    int done = 0;
    auto progress = [this, steps](int at) {
        if (m_pFrame) m_pFrame->ShowProgress(at, steps);
    };
    struct ProgressEnd {
        IQOBFrame* frame;
        ~ProgressEnd() {
            if (frame) frame->ShowProgress(0, 0);
        }
    } progressEnd{m_pFrame};

    for (const std::string& selected : m_selServers) {
        progress(done++);
        const int index = GetSiteIndex(selected);
        if (index < 0) {
            Log(LOG_ERROR, FormatString(44639, selected));
            return giveUp();
        }
        const SiteRec& site = m_sites[index];
        conn = server::CreateServer(site.Name, site.IP, site.DayWhite, site.MBAccount, site.MBPassword, *this);
        if (!conn) {
            Message(LoadString(44602));
            return giveUp();
        }
        if (!conn->Initialize()) {
            const std::string error = conn->GetLastError();
            Log(LOG_ERROR, error);
            Message(error);
            return giveUp();
        }
        if (m_bVerifyPassword && !conn->VerifyPassword(site.DayWhite)) {
            Log(LOG_ERROR, FormatString(44641, site.Name));
            Message(FormatString(44614, site.Name));
            return giveUp();
        }
        if (!conn->IsVersionSupported()) {
            const std::string text = FormatString(44618, site.Name);
            Log(LOG_ERROR, text);
            Message(text);
            return giveUp();
        }
        if (m_bRelocation && m_bRelocateVM && !conn->CheckMailboxAccess()) {
            const std::string error = conn->GetLastError();
            Log(LOG_ERROR, error);
            Message(FormatString(44634, error, site.Name));
            return giveUp();
        }
        m_servers.push_back(std::move(conn));
    }
    m_bVerifyPassword = false;

    if (!IsSameExtLength() && m_pFrame && m_pFrame->MessageBox(LoadString(44610), MB_YESNO) == IDNO) return false;

    const int errors = CheckMapTable();
    if (errors > 0 && m_pFrame &&
        m_pFrame->MessageBox(FormatString(44616, errors), MB_YESNO | MB_ICONWARNING, "Warning") == IDNO)
        return false;

    for (auto& conn : m_servers) {
        progress(done++);
        Log(LOG_INFO, FormatString(44642, conn->GetName()));
        if (!conn->LoadExtensions()) {
            Log(LOG_ERROR, FormatString(44643, conn->GetName()));
            // A site lost midway: the log says what broke, not only that the load failed.
            if (conn->ConnectionLost()) Log(LOG_ERROR, conn->GetLastError());
            Message(FormatString(44603, conn->GetName()));
            return giveUp();
        }
        uint16_t version = 0, recordLength = 0;
        conn->GetVersionInfo(version, recordLength);
        Log(LOG_DETAIL, FormatString(44644, conn->GetName(), conn->GetExtCount(), conn->GetExtNumberLength(),
                                     static_cast<int>(recordLength)));
    }

    Log(LOG_INFO, LoadString(44645));
    MatchExtensions();
    Log(LOG_INFO, LoadString(44646));
    m_bDownloaded = true;
    return true;
}

int CQOBDoc::CheckMapTable() {
    int errors = 0;
    for (const SiteRec& site : m_sites) {
        server::CZentServ* from = FindServer(site.Name);
        if (!from) continue;
        for (const MapEntry& route : site.Routes) {
            server::CZentServ* to = FindServer(route.Name);
            if (!to) continue;
            if (!to->IsValidMailSuffix(route.VMAPostfix)) {
                ++errors;
                Log(LOG_INFO, FormatString(44663, route.VMAPostfix, site.Name, route.Name));
            }
            if (!from->IsValidAccessCode(route.FwdPattern)) {
                ++errors;
                Log(LOG_INFO, FormatString(44664, route.FwdPattern, site.Name, route.Name));
            }
        }
    }
    return errors;
}

bool CQOBDoc::IsSameExtLength() const {
    for (const auto& conn : m_servers)
        if (conn->GetExtNumberLength() != m_servers.front()->GetExtNumberLength()) return false;
    return true;
}

server::CZentServ* CQOBDoc::FindServer(const std::string& name) const {
    const std::string wanted = TrimBlanks(name);
    for (const auto& conn : m_servers)
        if (strcasecmp(conn->GetName().c_str(), wanted.c_str()) == 0) return conn.get();
    return nullptr;
}

server::ExtSummary* CQOBDoc::FindExtRow(std::string_view number) {
    auto it = m_extList.find(number);
    return it == m_extList.end() ? nullptr : &it->second;
}

int CQOBDoc::GetGroupAgents(std::string_view number, const std::string& home, std::vector<std::string>& list) {
    const server::ExtSummary* row = FindExtRow(number);
    if (!row || row->ExtensionType != server::exttype::kWorkgroup) return 0;
    list.clear();
    const std::string site = row->SyncStatus == 1 ? std::string(server::FieldText(row->HomeServer)) : home;
    server::CZentServ* conn = FindServer(site);
    return conn ? conn->GetGroupMembers(number, list) : 0;
}

int32_t CQOBDoc::GetMailboxSize(std::string_view number) {
    const server::ExtSummary* row = FindExtRow(number);
    if (!row) return 0;
    server::CZentServ* conn = FindServer(std::string(server::FieldText(row->HomeServer)));
    return conn ? conn->GetMailboxSize(number) : 0;
}

void CQOBDoc::UpdateExtRows(const std::vector<std::string>& numbers) {
    if (!m_pFrame) return;
    for (const std::string& number : numbers)
        if (m_extList.count(number)) m_pFrame->UpdateViews(UPDATE_ROW_REFRESH, number);
}
