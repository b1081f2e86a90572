// Sites across a wide-area network: zentsim daemons on 127.0.2.1-20, each holding 1,000 numbers
// of its own and answering every reply 0, 10 or 50 ms late (`--latency-ms`), driven through
// CQOBDoc as the program drives them, with the document working on 1 or 8 sites at once.
// - BM_Download: a download of 1, 10 or 20 sites, against the slowest of those sites downloaded
//   alone (counter ratio_to_slowest_single); the round trips each site answered per download.
// - BM_Sync: 100 numbers of one site synchronised over 10 sites (a forwarding copy added on each
//   of the other nine), against the same numbers synchronised between their home and one other
//   site (counter ratio_to_single_site); the calls per number in all and on the critical path;
//   then the download again that follows (the option Reload), its time and its list calls per site.
// - BM_SyncCpu: 1,000 numbers synchronised between two sites of 10,000 numbers each, the processor
//   time the two daemons used against the program's own (counter daemons_to_client).
// Each download starts as a fresh process does, with the list capacity at its initial value.
#include <arpa/inet.h>
#include <sys/resource.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "QuietFrame.h"
#include "WanDaemons.h"
#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "connection/SPDCOM.h"
#include "document/QOBDoc.h"
#include "sim/Site.h"
#include "sim/SiteSetup.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kPort = 1135;
constexpr int kMaxSites = 20;
constexpr int kNumbersPerSite = 1000;
constexpr int kSyncSites = 10;
constexpr int kSyncNumbers = 100;
constexpr uint32_t kInitialListCapacity = 160000;

std::string SiteName(int i) { return "Site" + std::to_string(i); }
std::string Address(int i) { return "127.0.2." + std::to_string(i + 1); }
// Site i holds 10000 + 1000 i to 10999 + 1000 i.
std::string Number(int site, int j) { return std::to_string(10000 + site * kNumbersPerSite + j); }


std::string BinDir() { return fs::read_symlink("/proc/self/exe").parent_path().string(); }

// Writes the state of site i: `count` physical extensions numbered by `number`, `length` digits.
bool WriteSite(int i, int length, int count, std::string (*number)(int site, int j), const std::string& file) {
    sim::InitOptions o;
    o.name = SiteName(i);
    o.adminPassword = "pw";
    o.extNumberLength = length;
    o.dialPlan = {{'8', 1}};
    sim::SiteState state;
    std::string error;
    bool ok = sim::MakeSiteState(o, state, error);
    for (int j = 0; ok && j < count; ++j) {
        sim::AddOptions a;
        a.ext.number = number(i, j);
        a.ext.type = "physical";
        a.ext.firstName = "First" + std::to_string(j);
        a.ext.lastName = SiteName(i);
        ok = sim::AddToSite(state, a, error);
    }
    ok = ok && sim::Site::Create(std::move(state), file, true, error);
    if (!ok) std::fprintf(stderr, "cannot write %s: %s\n", file.c_str(), error.c_str());
    return ok;
}

// The registry, the resolver port and the sites' state files as made once for the whole run.
struct World {
    TempDir dir;
    bool ok = false;

    World() {
        fs::create_directories(dir.file("registry"));
        setenv("QOB_REGISTRY_DIR", dir.file("registry").c_str(), 1);
        setenv("QOB_RESOLVER_PORT", std::to_string(kPort).c_str(), 1);
        com::ResetProxyStubCache();
        if (!com::EnsureProxyLibraryRegistered()) return;
        fs::create_directories(dir.file("pristine"));
        for (int i = 0; i < kMaxSites; ++i)
            if (!WriteSite(i, 5, kNumbersPerSite, Number, Pristine(i))) return;
        ok = true;
    }
    std::string Pristine(int i) const { return dir.file("pristine/" + SiteName(i) + ".json"); }
    std::string Working(int i) const { return dir.file(SiteName(i) + ".json"); }
};

World& TheWorld() {
    static World world;
    return world;
}

// Sites 0 to n - 1 served from fresh copies of their state, each with its journal of calls.
class Served {
public:
    Served(const World& w, int n, int latencyMs) : m_world(w) {
        for (int i = 0; i < n; ++i) {
            std::error_code ec;
            fs::copy_file(w.Pristine(i), w.Working(i), fs::copy_options::overwrite_existing, ec);
            const std::string journal = w.Working(i) + ".journal";
            fs::remove(journal, ec);
            m_daemons.push_back(std::make_unique<bench::ServeDaemon>(
                BinDir() + "/zentsim", w.Working(i), Address(i), kPort,
                std::vector<std::string>{"--latency-ms", std::to_string(latencyMs), "--journal", journal}));
            if (!m_daemons.back()->Ready()) {
                std::fprintf(stderr, "zentsim for %s did not start: %s\n", SiteName(i).c_str(),
                             m_daemons.back()->Err().c_str());
                return;
            }
        }
        m_ready = true;
    }
    bool Ready() const { return m_ready; }
    // The calls site i answered so far.
    size_t Calls(int i) const {
        const std::string text = Journal(i);
        return size_t(std::count(text.begin(), text.end(), '\n'));
    }
    std::vector<bench::Answered> Stop() {
        std::vector<bench::Answered> out;
        for (auto& d : m_daemons) out.push_back(d->Stop());
        return out;
    }

    std::string Journal(int i) const { return bench::ReadWhole(m_world.Working(i) + ".journal"); }

private:
    const World& m_world;
    std::vector<std::unique_ptr<bench::ServeDaemon>> m_daemons;
    bool m_ready = false;
};

// A document naming the sites, with routes "8N" between every pair, working on `jobs` at once.
void Configure(CQOBDoc& doc, QuietFrame& frame, const std::vector<int>& sites, int jobs,
               std::string (*address)(int) = Address) {
    doc.SetFrame(&frame);
    doc.SetJobs(jobs);
    for (int i : sites) {
        SiteRec rec;
        rec.Name = SiteName(i);
        inet_pton(AF_INET, address(i).c_str(), &rec.IP);
        rec.DayWhite = "pw";
        doc.m_sites.push_back(rec);
        doc.m_selServers.push_back(rec.Name);
    }
    for (SiteRec& from : doc.m_sites)
        for (const SiteRec& to : doc.m_sites)
            if (&to != &from) from.Routes.push_back(MapEntry{to.Name, to.Name + ".example", "8N"});
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A download of the sites as a fresh process makes it; its seconds, or a negative value when it
// failed.
double TimedDownload(const std::vector<int>& sites, int jobs) {
    server::CZentServDcom::SetListCapacity(kInitialListCapacity);
    QuietFrame frame;
    CQOBDoc doc;
    Configure(doc, frame, sites, jobs);
    const auto start = Clock::now();
    const bool ok = doc.Download() && doc.m_extList.size() == sites.size() * size_t(kNumbersPerSite);
    const double took = Seconds(Clock::now() - start);
    doc.OnCloseDocument();
    return ok ? took : -1;
}

std::vector<int> FirstSites(int n) {
    std::vector<int> v(n);
    for (int i = 0; i < n; ++i) v[i] = i;
    return v;
}

// Each site downloaded alone, per latency, measured once in the run.
std::map<int, std::vector<double>>& SingleSites() {
    static std::map<int, std::vector<double>> singles;
    return singles;
}

void BM_Download(benchmark::State& state) {
    const int latency = int(state.range(0)), sites = int(state.range(1)), jobs = int(state.range(2));
    World& w = TheWorld();
    if (!w.ok) return state.SkipWithError("the sites could not be made");
    std::vector<double>& singles = SingleSites()[latency];
    singles.resize(kMaxSites, -1);
    if (std::any_of(singles.begin(), singles.begin() + sites, [](double t) { return t < 0; })) {
        Served alone(w, sites, latency);
        if (!alone.Ready()) return state.SkipWithError("a daemon did not start");
        for (int i = 0; i < sites; ++i)
            if (singles[i] < 0 && (singles[i] = TimedDownload({i}, 1)) < 0)
                return state.SkipWithError("a site alone could not be downloaded");
    }
    const double slowest = *std::max_element(singles.begin(), singles.begin() + sites);

    // Daemons of their own, so that what they answered is the timed downloads' alone.
    Served served(w, sites, latency);
    if (!served.Ready()) return state.SkipWithError("a daemon did not start");
    double total = 0;
    for (auto _ : state) {
        const double took = TimedDownload(FirstSites(sites), jobs);
        if (took < 0) return state.SkipWithError("the download failed");
        state.SetIterationTime(took);
        total += took;
    }
    const std::vector<bench::Answered> answered = served.Stop();
    unsigned long roundTrips = 0;
    for (int i = 0; i < sites; ++i) {
        if (!answered[i].known) return state.SkipWithError("a daemon did not say what it answered");
        roundTrips += answered[i].RoundTrips();
    }
    state.counters["ratio_to_slowest_single"] = total / double(state.iterations()) / slowest;
    state.counters["slowest_single_ms"] = slowest * 1000;
    state.counters["round_trips_per_site"] = double(roundTrips) / double(sites) / double(state.iterations());
}
BENCHMARK(BM_Download)
    ->ArgsProduct({{0, 10, 50}, {1, 10, 20}, {1, 8, 20}})
    ->ArgNames({"latency_ms", "sites", "jobs"})
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

struct SyncOutcome {
    double seconds = -1;
    std::vector<size_t> calls;  // per site, answered during the synchronisation
    double reloadSeconds = -1;
    double reloadListCalls = 0;  // GetExtensionList per site in the download again
};

// How many lines of a journal, from line `from` on, name the method.
size_t JournalCount(const std::string& journal, size_t from, const std::string& method) {
    size_t line = 0, count = 0, at = 0;
    while (at < journal.size()) {
        const size_t end = journal.find('\n', at);
        if (line++ >= from && journal.compare(at, method.size() + 1, method + " ") == 0) ++count;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return count;
}

// Numbers 10000 to 10099, whose home is site 0, synchronised over sites 0 to n - 1 (downloaded
// first, not timed).
SyncOutcome TimedSync(World& w, int sites, int latency, int jobs) {
    SyncOutcome outcome;
    Served served(w, sites, latency);
    if (!served.Ready()) return outcome;
    server::CZentServDcom::SetListCapacity(kInitialListCapacity);
    QuietFrame frame;
    CQOBDoc doc;
    Configure(doc, frame, FirstSites(sites), jobs);
    doc.m_bReload = false;
    if (!doc.Download()) return outcome;
    std::vector<size_t> before(sites);
    for (int i = 0; i < sites; ++i) before[i] = served.Calls(i);
    std::vector<CQOBDoc::SyncRequest> list;
    for (int j = 0; j < kSyncNumbers; ++j) list.push_back({Number(0, j), SiteName(0)});
    const auto start = Clock::now();
    const bool ok = doc.SyncNumbers(list);
    const double took = Seconds(Clock::now() - start);
    for (int i = 0; i < sites; ++i) outcome.calls.push_back(served.Calls(i) - before[i]);
    // The download again, as the window and qob-cli make it after a synchronisation by default.
    std::vector<size_t> synced(sites);
    for (int i = 0; i < sites; ++i) synced[i] = served.Calls(i);
    const auto again = Clock::now();
    const bool reloaded = doc.Download();
    outcome.reloadSeconds = reloaded ? Seconds(Clock::now() - again) : -1;
    for (int i = 0; i < sites; ++i)
        outcome.reloadListCalls += double(JournalCount(served.Journal(i), synced[i], "GetExtensionList")) / sites;
    doc.OnCloseDocument();
    served.Stop();
    if (ok) outcome.seconds = took;
    return outcome;
}

void BM_Sync(benchmark::State& state) {
    const int latency = int(state.range(0)), jobs = int(state.range(1));
    World& w = TheWorld();
    if (!w.ok) return state.SkipWithError("the sites could not be made");
    static std::map<int, double> single;  // per latency: the same numbers between two sites
    if (!single.count(latency)) {
        const SyncOutcome alone = TimedSync(w, 2, latency, 1);
        if (alone.seconds < 0) return state.SkipWithError("the synchronisation between two sites failed");
        single[latency] = alone.seconds;
    }
    double total = 0, perNumber = 0, critical = 0, reload = 0, reloadCalls = 0;
    for (auto _ : state) {
        const SyncOutcome o = TimedSync(w, kSyncSites, latency, jobs);
        if (o.seconds < 0 || o.reloadSeconds < 0) return state.SkipWithError("the synchronisation failed");
        reload += o.reloadSeconds;
        reloadCalls = o.reloadListCalls;
        state.SetIterationTime(o.seconds);
        total += o.seconds;
        size_t all = 0, busiestCopy = 0;
        for (int i = 0; i < kSyncSites; ++i) {
            all += o.calls[i];
            if (i > 0) busiestCopy = std::max(busiestCopy, o.calls[i]);
        }
        perNumber = double(all) / kSyncNumbers;
        // The home is written before the other sites, which may then all be written at once.
        critical = double(o.calls[0] + busiestCopy) / kSyncNumbers;
    }
    state.counters["ratio_to_single_site"] = total / double(state.iterations()) / single[latency];
    state.counters["single_site_ms"] = single[latency] * 1000;
    state.counters["calls_per_number"] = perNumber;
    state.counters["critical_calls_per_number"] = critical;
    state.counters["reload_ms"] = reload / double(state.iterations()) * 1000;
    state.counters["reload_list_calls_per_site"] = reloadCalls;
}
BENCHMARK(BM_Sync)
    ->ArgsProduct({{0, 10, 50}, {1, 8}})
    ->ArgNames({"latency_ms", "jobs"})
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

constexpr int kBigSiteNumbers = 10000;
constexpr int kBigSyncNumbers = 1000;

std::string BigAddress(int i) { return "127.0.3." + std::to_string(i + 1); }
std::string BigNumber(int site, int j) { return std::to_string(100000 + site * kBigSiteNumbers + j); }

// Two sites of 10,000 numbers each (site i holds 100000 + 10000 i on), made once for the run.
struct BigWorld {
    TempDir dir;
    bool ok = false;
    BigWorld() {
        if (!TheWorld().ok) return;  // the registry and the resolver port
        for (int i = 0; i < 2; ++i)
            if (!WriteSite(i, 6, kBigSiteNumbers, BigNumber, Pristine(i))) return;
        ok = true;
    }
    std::string Pristine(int i) const { return dir.file("pristine" + std::to_string(i) + ".json"); }
    std::string Working(int i) const { return dir.file("site" + std::to_string(i) + ".json"); }
};

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// 1,000 numbers of site 0 synchronised to site 1 (downloaded first, not counted), with the
// program's and the daemons' processor time.
void BM_SyncCpu(benchmark::State& state) {
    static BigWorld w;
    if (!w.ok) return state.SkipWithError("the sites could not be made");
    double client = 0, daemons = 0, daemonsSystem = 0, seconds = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<bench::ServeDaemon>> served;
        for (int i = 0; i < 2; ++i) {
            std::error_code ec;
            fs::copy_file(w.Pristine(i), w.Working(i), fs::copy_options::overwrite_existing, ec);
            served.push_back(std::make_unique<bench::ServeDaemon>(BinDir() + "/zentsim", w.Working(i), BigAddress(i),
                                                                  kPort, std::vector<std::string>{}));
            if (!served.back()->Ready()) return state.SkipWithError("a zentsim did not start");
        }
        QuietFrame frame;
        CQOBDoc doc;
        Configure(doc, frame, {0, 1}, 8, BigAddress);
        doc.m_bReload = false;
        if (!doc.Download()) return state.SkipWithError("the download failed");
        std::vector<CQOBDoc::SyncRequest> list;
        for (int j = 0; j < kBigSyncNumbers; ++j) list.push_back({BigNumber(0, j), SiteName(0)});
        const double daemonsBefore = served[0]->CpuSeconds() + served[1]->CpuSeconds();
        const double systemBefore = served[0]->CpuSeconds(true) + served[1]->CpuSeconds(true);
        const double clientBefore = ProcessCpuSeconds();
        const auto start = Clock::now();
        const bool ok = doc.SyncNumbers(list);
        const double took = Seconds(Clock::now() - start);
        client += ProcessCpuSeconds() - clientBefore;
        daemons += served[0]->CpuSeconds() + served[1]->CpuSeconds() - daemonsBefore;
        daemonsSystem += served[0]->CpuSeconds(true) + served[1]->CpuSeconds(true) - systemBefore;
        doc.OnCloseDocument();
        if (!ok) return state.SkipWithError("the synchronisation failed");
        state.SetIterationTime(took);
        seconds += took;
    }
    state.counters["client_cpu_s"] = client / double(state.iterations());
    state.counters["daemons_cpu_s"] = daemons / double(state.iterations());
    state.counters["daemons_system_cpu_s"] = daemonsSystem / double(state.iterations());
    state.counters["daemons_to_client"] = daemons / client;
}
BENCHMARK(BM_SyncCpu)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
