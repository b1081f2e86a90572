#include "com/Pinger.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "com/Association.h"
#include "com/NdrBuild.h"
#include "com/ResolverMessages.h"
#include "com/RpcSettings.h"
#include "platform/Trace.h"

namespace com {
namespace {

// At most this many sets are pinged at the same time.
constexpr size_t kParallelPings = 16;

struct PingSet {
    std::string host;
    uint16_t port = 0;
    SETID setId = 0;
    uint16_t sequence = 0;
    std::map<OID, int> held;   // references counted per OID
    std::set<OID> known;       // what the server has in the set
    std::set<OID> forgotten;   // dropped without telling the server
    LinkPtr link;              // lets Stop abandon a ping in progress
    std::unique_ptr<Association> association;
    std::chrono::steady_clock::time_point lastPing{};
    // Pinged right now, outside the mutex: only the pinging thread touches the fields below
    // `held` and `forgotten` (and nobody erases the set) until it is clear again.
    bool busy = false;

    // A fresh association, for a set whose last one was lost or abandoned.
    void Renew() {
        association.reset();
        link = std::make_shared<Link>();
        association = std::make_unique<Association>(host, port, link);
    }
};

struct PingJob {
    PingSet* set;
    std::vector<OID> add, del;
    bool ok = false;
};

class Pinger {
public:
    // At exit nothing more is sent (the servers time the references out); a program that ends
    // its runtime properly has said goodbye through PingerShutdown already.
    ~Pinger() { Stop(); }

    void Add(const std::string& host, uint16_t port, OID oid) {
        std::lock_guard lock(m_mutex);
        PingSet& s = m_sets[Key(host, port)];
        if (!s.association) {
            s.host = host;
            s.port = port;
            s.Renew();
        }
        ++s.held[oid];
        s.forgotten.erase(oid);
        if (!m_thread.joinable()) {
            m_stop = false;
            m_thread = std::thread([this] { Run(); });
        }
        // A new reference joins its server's ping set soon, not a whole period later.
        m_kick = true;
        m_wake.notify_all();
    }

    void Remove(const std::string& host, uint16_t port, OID oid, bool forget) {
        std::lock_guard lock(m_mutex);
        auto it = m_sets.find(Key(host, port));
        if (it == m_sets.end()) return;
        PingSet& s = it->second;
        auto h = s.held.find(oid);
        if (h == s.held.end() || --h->second > 0) return;
        s.held.erase(h);
        if (forget) s.forgotten.insert(oid);
    }

    bool Stop() {
        {
            std::lock_guard lock(m_mutex);
            if (!m_thread.joinable()) return false;
            m_stop = true;
            // Every set's link, not only the busy ones': a ping about to start fails at once too.
            for (auto& [key, s] : m_sets) s.link->Abort();
        }
        m_wake.notify_all();
        m_thread.join();
        return true;
    }

    void Shutdown() {
        if (!Stop()) return;
        // A last word to each server about the references no longer held, so it frees them now.
        std::vector<PingJob> jobs;
        {
            std::lock_guard lock(m_mutex);
            for (auto& [key, s] : m_sets) {
                if (s.busy) continue;
                DropForgotten(s);
                std::vector<OID> gone;
                for (OID oid : s.known)
                    if (!s.held.count(oid)) gone.push_back(oid);
                s.Renew();  // Stop abandoned the old one
                if (gone.empty() || !s.setId || !m_enabled) continue;
                s.busy = true;
                jobs.push_back({&s, {}, std::move(gone)});
            }
        }
        RunJobs(jobs);
        std::lock_guard lock(m_mutex);
        for (PingJob& j : jobs) j.set->busy = false;
        for (auto it = m_sets.begin(); it != m_sets.end();)
            it = it->second.held.empty() && !it->second.busy ? m_sets.erase(it) : std::next(it);
    }

    void SetEnabled(bool enabled) {
        std::lock_guard lock(m_mutex);
        m_enabled = enabled;
    }

    uint64_t Sent() const { return m_sent.load(); }

private:
    static std::string Key(const std::string& host, uint16_t port) { return host + "[" + std::to_string(port) + "]"; }

    // With m_mutex held, on a set nobody pings: what was forgotten is no longer the server's
    // business here.
    static void DropForgotten(PingSet& s) {
        for (OID oid : s.forgotten) s.known.erase(oid);
        s.forgotten.clear();
    }

    // One ping of a busy set (or of any set once the thread ended); with changes a complex ping,
    // else a simple one. Without m_mutex.
    bool Ping(PingSet& s, const std::vector<OID>& add, const std::vector<OID>& del) {
        RpcRequest q;
        q.interface = InterfaceSyntax(IID_IObjectExporter);
        std::vector<uint8_t> stub;
        if (add.empty() && del.empty()) {
            q.opnum = kOpSimplePing;
            stub = BuildNdr([&](NdrWriter& w) { WriteSimplePingRequest(w, s.setId); });
        } else {
            q.opnum = kOpComplexPing;
            ComplexPingRequest c;
            c.setId = s.setId;
            c.sequence = ++s.sequence;
            c.add = add;
            c.del = del;
            stub = BuildNdr([&](NdrWriter& w) { WriteComplexPingRequest(w, c); });
        }
        q.stub = stub.data();
        q.stubLength = stub.size();
        RpcReply reply;
        HRESULT hr = s.association->Call(q, reply);
        std::unique_ptr<uint8_t, decltype(&std::free)> guard(reply.data, std::free);
        if (FAILED(hr) || reply.fault) {
            platform::TraceF("pinger: %s port %u: ping failed, hr = 0x%x\n", s.host.c_str(), unsigned(s.port),
                             unsigned(FAILED(hr) ? hr : HRESULT(reply.faultStatus)));
            return false;
        }
        NdrReader r(reply.data, reply.size, reply.drep);
        uint32_t status = 0;
        SETID setId = s.setId;
        bool ok;
        if (q.opnum == kOpSimplePing) {
            ok = ReadStatusReply(r, status);
        } else {
            ComplexPingReply a;
            ok = ReadComplexPingReply(r, a);
            status = a.status;
            setId = a.setId;
        }
        if (!ok) return false;
        if (status == OR_INVALID_SET) {
            // The server lost the set (it restarted, or we were silent too long): build it anew.
            s.setId = 0;
            s.known.clear();
            return false;
        }
        if (status != 0) return false;
        s.setId = setId;
        for (OID o : add) s.known.insert(o);
        for (OID o : del) s.known.erase(o);
        ++m_sent;
        return true;
    }

    // The jobs side by side, on up to kParallelPings threads (this one among them).
    void RunJobs(std::vector<PingJob>& jobs) {
        std::atomic<size_t> next{0};
        auto work = [&] {
            for (size_t i; (i = next++) < jobs.size();) jobs[i].ok = Ping(*jobs[i].set, jobs[i].add, jobs[i].del);
        };
        std::vector<std::jthread> helpers;
        const size_t wanted = std::min(jobs.size(), kParallelPings);
        for (size_t k = 1; k < wanted; ++k) {
            try {
                helpers.emplace_back(work);
            } catch (const std::system_error&) {
                break;  // no thread to be had: the ones there (and this one) do the rest
            }
        }
        work();
    }

    void Run() {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            const auto period = std::chrono::milliseconds(PingPeriodMs());
            m_wake.wait_for(lock, period, [this] { return m_stop || m_kick; });
            m_kick = false;
            if (m_stop) break;
            if (!m_enabled) continue;
            const auto now = std::chrono::steady_clock::now();
            std::vector<PingJob> jobs;
            for (auto it = m_sets.begin(); it != m_sets.end();) {
                PingSet& s = it->second;
                if (s.busy) {
                    ++it;
                    continue;
                }
                DropForgotten(s);
                std::vector<OID> add, del;
                for (auto& [oid, count] : s.held)
                    if (!s.known.count(oid)) add.push_back(oid);
                for (OID oid : s.known)
                    if (!s.held.count(oid)) del.push_back(oid);
                // Nothing held any more, and nothing the server must be told: the set is done.
                if (s.held.empty() && (s.known.empty() || s.setId == 0)) {
                    it = m_sets.erase(it);
                    continue;
                }
                if (add.empty() && del.empty() && now - s.lastPing < period) {
                    ++it;
                    continue;
                }
                if (s.link->Lost()) s.Renew();  // the last ping failed: connect afresh
                s.busy = true;
                jobs.push_back({&s, std::move(add), std::move(del)});
                ++it;
            }
            if (jobs.empty()) continue;
            lock.unlock();
            RunJobs(jobs);
            lock.lock();
            for (PingJob& j : jobs) {
                j.set->busy = false;
                if (j.ok) j.set->lastPing = now;
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, PingSet> m_sets;
    std::thread m_thread;
    bool m_stop = false;
    bool m_kick = false;
    bool m_enabled = true;
    std::atomic<uint64_t> m_sent{0};
};

Pinger& ThePinger() {
    static Pinger p;
    return p;
}

}  // namespace

void PingerAdd(const std::string& host, uint16_t port, OID oid) { ThePinger().Add(host, port, oid); }
void PingerRemove(const std::string& host, uint16_t port, OID oid) { ThePinger().Remove(host, port, oid, false); }
void PingerForget(const std::string& host, uint16_t port, OID oid) { ThePinger().Remove(host, port, oid, true); }
void PingerShutdown() { ThePinger().Shutdown(); }
void SetPingingEnabled(bool enabled) { ThePinger().SetEnabled(enabled); }
uint64_t PingsSent() { return ThePinger().Sent(); }

}  // namespace com
