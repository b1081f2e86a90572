// Downloading the chosen sites: connect and check each one, validate the map table against the
// live servers, load every site's extensions, then match them into one list.
#include <strings.h>

#include "document/CallAborter.h"
#include "document/CommandScope.h"
#include "document/QOBDoc.h"
#include "document/SiteJobs.h"
#include "platform/Strings.h"
#include "server/ForwardTemplates.h"
#include "connection/SPDCOM.h"

using platform::FormatString;
using platform::LoadString;

namespace {

// How far one site got in being connected and checked, when it stopped short.
enum class Shortfall { None, NoMemory, Connect, Password, Version, Mailbox, Cancelled };

struct Connecting {
    std::unique_ptr<server::CZentServ> conn;  // published under the download's mutex
    Shortfall shortfall = Shortfall::None;
    std::string error;  // the connection's last error where the log shows it
};

struct Loading {
    bool ok = false;
    bool lost = false;
    std::string error;
};

}  // namespace

bool CQOBDoc::Download() {
    CommandScope scope(*this);
    DestroyServers();
    m_bDownloaded = false;

    // Each site counts twice: connecting and checking it, then loading its lists.
    const size_t count = m_selServers.size();
    const int steps = static_cast<int>(count) * 2;
    int done = 0;
    struct ProgressEnd {
        IQOBFrame* frame;
        ~ProgressEnd() {
            if (frame) frame->ShowProgress(0, 0);
        }
    } progressEnd{m_pFrame};
    auto progress = [this, steps](int at) {
        if (m_pFrame) m_pFrame->ShowProgress(at, steps);
    };

    // A name that is no site stops the download there: only the sites before it are contacted.
    std::vector<int> index(count, -1);
    size_t known = 0;
    while (known < count && (index[known] = GetSiteIndex(m_selServers[known])) >= 0) ++known;

    // Giving up aborts what other sites still have in flight: nothing after the first failure matters.
    std::stop_source giveUpSource;
    document::CCallAborter giveUpAborter(giveUpSource.get_token());
    std::vector<Connecting> connecting(known);
    const bool verify = m_bVerifyPassword;
    const bool mailbox = m_bRelocation && m_bRelocateVM;
    auto connect = [&](size_t i) {
        Connecting& c = connecting[i];
        const SiteRec& site = m_sites[size_t(index[i])];
        c.conn = server::CreateServer(site.Name, site.IP, site.DayWhite, site.MBAccount, site.MBPassword, *this);
        if (!c.conn) {
            c.shortfall = Shortfall::NoMemory;
            return;
        }
        server::CZentServ* conn = c.conn.get();
        // Watched while it works: a stop or a give-up aborts only what is still in flight.
        document::CCallAborter::Busy busy(m_pAborter.get(), conn), givenUp(&giveUpAborter, conn);
        auto step = [&](bool ok, Shortfall failure, bool keepError) {
            if (ok && !Cancelled()) return true;
            // A call a cancel abandoned failed because of the cancel, not the site.
            c.shortfall = Cancelled() ? Shortfall::Cancelled : failure;
            if (keepError) c.error = conn->GetLastError();
            return false;
        };
        if (!step(!Cancelled(), Shortfall::Cancelled, false)) return;
        if (!step(conn->Initialize(), Shortfall::Connect, true)) return;
        if (verify && !step(conn->VerifyPassword(site.DayWhite), Shortfall::Password, false)) return;
        if (!step(conn->IsVersionSupported(), Shortfall::Version, false)) return;
        if (mailbox) step(conn->CheckMailboxAccess(), Shortfall::Mailbox, true);
    };
    // Gives up on every site: the connection given up on (if any) is destroyed first (its
    // relocator closes while its interfaces are still held), then the others, in order.
    auto destroy = [&](std::unique_ptr<server::CZentServ> first) {
        first.reset();
        for (Connecting& c : connecting)
            if (c.conn) m_servers.push_back(std::move(c.conn));
        DestroyServers();
        return false;
    };
    auto cancelled = [this] {
        Log(LOG_INFO, platform::LoadString(46200));
        return true;
    };

    {
        std::unique_ptr<server::CZentServ> failed;
        bool stop = false;
        {
            document::CSiteJobs jobs(known, m_nJobs, m_stop, connect);
            for (size_t i = 0; i < known && !stop; ++i) {
                progress(done++);
                const std::string& name = m_sites[size_t(index[i])].Name;
                const bool ran = jobs.Wait(i, [&] { Status(FormatString(46210, int(jobs.Finished()), int(count), name)); });
                // Site i's work is over: its slot is the engine's to read.
                Connecting& c = connecting[i];
                if (!ran || c.shortfall == Shortfall::Cancelled || Cancelled()) {
                    stop = cancelled();
                } else if (c.shortfall != Shortfall::None) {
                    const SiteRec& site = m_sites[size_t(index[i])];
                    // What the user is told comes before anything is torn down, as one site after another.
                    switch (c.shortfall) {
                    case Shortfall::NoMemory: Message(LoadString(44602)); break;
                    case Shortfall::Connect:
                        Log(LOG_ERROR, c.error);
                        Message(c.error);
                        break;
                    case Shortfall::Password:
                        Log(LOG_ERROR, FormatString(44641, site.Name));
                        Message(FormatString(44614, site.Name));
                        break;
                    case Shortfall::Version: {
                        const std::string text = FormatString(44618, site.Name);
                        Log(LOG_ERROR, text);
                        Message(text);
                        break;
                    }
                    case Shortfall::Mailbox:
                        Log(LOG_ERROR, c.error);
                        Message(FormatString(44634, c.error, site.Name));
                        break;
                    default: break;
                    }
                    stop = true;
                }
                if (stop) {
                    failed = std::move(c.conn);
                    jobs.SkipRest();
                    giveUpSource.request_stop();
                }
            }
        }  // every site's work has ended here
        if (stop) return destroy(std::move(failed));
        if (known < count) {
            progress(done++);
            Log(LOG_ERROR, FormatString(44639, m_selServers[known]));
            return destroy(nullptr);
        }
        for (Connecting& c : connecting) {
            if (c.conn) c.conn->SetJournal(m_pJournal.get());
            m_servers.push_back(std::move(c.conn));
        }
    }
    m_bVerifyPassword = false;

    if (!IsSameExtLength() && m_pFrame && m_pFrame->MessageBox(LoadString(44610), MB_YESNO) == IDNO) return false;

    const int errors = CheckMapTable();
    if (Cancelled()) {
        cancelled();
        return destroy(nullptr);
    }
    if (errors > 0 && m_pFrame &&
        m_pFrame->MessageBox(FormatString(44616, errors), MB_YESNO | MB_ICONWARNING, "Warning") == IDNO)
        return false;

    std::vector<Loading> loading(m_servers.size());
    {
        auto load = [&](size_t i) {
            server::CZentServ& conn = *m_servers[i];
            Loading& l = loading[i];
            if (Cancelled()) return;
            document::CCallAborter::Busy busy(m_pAborter.get(), &conn), givenUp(&giveUpAborter, &conn);
            l.ok = conn.LoadExtensions();
            l.lost = conn.ConnectionLost();
            l.error = conn.GetLastError();
        };
        bool stop = false, wasCancelled = false;
        {
            document::CSiteJobs jobs(m_servers.size(), m_nJobs, m_stop, load);
            for (size_t i = 0; i < m_servers.size() && !stop; ++i) {
                progress(done++);
                server::CZentServ& conn = *m_servers[i];
                const bool ran = jobs.Wait(i, [&] { Status(FormatString(46211, int(jobs.Finished()), int(count), conn.GetName())); });
                if (!ran || Cancelled()) {
                    stop = wasCancelled = true;
                } else {
                    const Loading& l = loading[i];
                    Log(LOG_INFO, FormatString(44642, conn.GetName()));
                    if (!l.ok) {
                        Log(LOG_ERROR, FormatString(44643, conn.GetName()));
                        // A site lost midway: the log says what broke, not only that the load failed.
                        if (l.lost) Log(LOG_ERROR, l.error);
                        Message(FormatString(44603, conn.GetName()));
                        stop = true;
                    } else {
                        uint16_t version = 0, recordLength = 0;
                        conn.GetVersionInfo(version, recordLength);
                        Log(LOG_DETAIL, FormatString(44644, conn.GetName(), conn.GetExtCount(), conn.GetExtNumberLength(),
                                                     static_cast<int>(recordLength)));
                    }
                }
                if (stop) {
                    // Loads still running are abandoned: the download gives up on every site.
                    jobs.SkipRest();
                    giveUpSource.request_stop();
                }
            }
        }
        if (stop) {
            if (wasCancelled) cancelled();
            return destroy(nullptr);
        }
    }

    Log(LOG_INFO, LoadString(44645));
    MatchExtensions();
    Log(LOG_INFO, LoadString(44646));
    m_bDownloaded = true;
    return true;
}

int CQOBDoc::CheckMapTable() {
    // The access codes are checked by the sites the routes start from, each site on a thread of
    // its own; the warnings come out in the map table's order.
    struct RouteCheck {
        const SiteRec* site;
        const MapEntry* route;
        server::CZentServ* to;
        bool codeOk;
    };
    std::vector<server::CZentServ*> from;
    std::vector<std::vector<RouteCheck>> checks;
    for (const SiteRec& site : m_sites) {
        server::CZentServ* conn = FindServer(site.Name);
        if (!conn) continue;
        std::vector<RouteCheck> routes;
        for (const MapEntry& route : site.Routes)
            if (server::CZentServ* to = FindServer(route.Name)) routes.push_back({&site, &route, to, false});
        from.push_back(conn);
        checks.push_back(std::move(routes));
    }
    document::ForEachSite(checks.size(), m_nJobs, [&](size_t i) {
        document::CCallAborter::Busy busy(m_pAborter.get(), from[i]);
        for (RouteCheck& c : checks[i])
            if (!Cancelled()) c.codeOk = from[i]->IsValidAccessCode(c.route->FwdPattern);
    });
    // Codes a stop left unchecked are no errors of the map table: the caller ends the download.
    if (Cancelled()) return 0;
    int errors = 0;
    for (const std::vector<RouteCheck>& routes : checks)
        for (const RouteCheck& c : routes) {
            if (!c.to->IsValidMailSuffix(c.route->VMAPostfix)) {
                ++errors;
                Log(LOG_INFO, FormatString(44663, c.route->VMAPostfix, c.site->Name, c.route->Name));
            }
            if (!c.codeOk) {
                ++errors;
                Log(LOG_INFO, FormatString(44664, c.route->FwdPattern, c.site->Name, c.route->Name));
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
