#include "document/QOBDoc.h"

#include "document/CallAborter.h"
#include "document/SiteJobs.h"

#include <strings.h>

#include <exception>
#include <unordered_set>

#include "platform/Strings.h"
#include "platform/Trace.h"

CQOBDoc::CQOBDoc() = default;
CQOBDoc::~CQOBDoc() { OnCloseDocument(); }

std::string CQOBDoc::ConfigPath() const {
    if (m_strWorkDir.empty()) return "Plexar.xml";
    return m_strWorkDir + "/Plexar.xml";
}

void CQOBDoc::Message(const std::string& text, unsigned type) {
    if (m_pFrame) m_pFrame->MessageBox(text, type);
}

bool CQOBDoc::OnNewDocument() {
    try {
        if (!LoadConfig()) {
            if (m_pFrame) m_pFrame->RequestMapEdit();
            return true;
        }
        if (HasDuplicateIP()) {
            if (m_pFrame) m_pFrame->RequestMapEdit();
            Message(platform::LoadString(44613));
        }
        return true;
    } catch (const std::exception&) {
        platform::Trace("The exception occur in OnNewDocument\n");
        return false;
    }
}

void CQOBDoc::ClearSites() { m_sites.clear(); }

void CQOBDoc::OnCloseDocument() {
    ClearSites();
    m_extList.clear();
    DestroyServers();
    m_selServers.clear();
}

void CQOBDoc::SetJobs(int jobs) { m_nJobs = jobs < 1 ? 1 : jobs > kMaxJobs ? kMaxJobs : jobs; }

int CQOBDoc::ChangeJobs() const {
    // A plan (a dry run) lists the calls in the order a real run makes them; nothing waits on a
    // site, so one site after another costs nothing.
    for (const auto& conn : m_servers)
        if (conn->GetPlan()) return 1;
    return m_nJobs;
}

void CQOBDoc::DestroyServers() {
    // In order, as they were created, when one site at a time is worked on; else side by side,
    // so that no site waits for another to let go.
    document::ForEachSite(m_servers.size(), m_nJobs, [this](size_t i) { m_servers[i].reset(); });
    m_servers.clear();
}

void CQOBDoc::Status(const std::string& text) {
    if (m_pFrame) m_pFrame->SetStatusText(text);
}

void CQOBDoc::Log(uint32_t level, const std::string& text) {
    if (m_pFrame) m_pFrame->Log(level, text);
}

int CQOBDoc::GetSiteIndex(const std::string& name) const {
    for (size_t i = 0; i < m_sites.size(); ++i)
        if (strcasecmp(m_sites[i].Name.c_str(), name.c_str()) == 0) return static_cast<int>(i);
    return -1;
}

bool CQOBDoc::IsIPUsed(uint32_t ip) const {
    for (const SiteRec& s : m_sites)
        if (s.IP == ip) return true;
    return false;
}

bool CQOBDoc::HasDuplicateIP() const {
    std::unordered_set<uint32_t> seen;
    seen.reserve(m_sites.size());
    for (const SiteRec& s : m_sites)
        if (!seen.insert(s.IP).second) return true;
    return false;
}

const std::string* CQOBDoc::GetFwdPattern(const std::string& from, const std::string& to) const {
    int i = GetSiteIndex(from);
    if (i < 0) return nullptr;
    for (const MapEntry& e : m_sites[i].Routes)
        if (e.Name == to) return &e.FwdPattern;
    return nullptr;
}

const std::string* CQOBDoc::GetVMAPostfix(const std::string& from, const std::string& to) const {
    int i = GetSiteIndex(from);
    if (i < 0) return nullptr;
    for (const MapEntry& e : m_sites[i].Routes)
        if (e.Name == to) return &e.VMAPostfix;
    return nullptr;
}
