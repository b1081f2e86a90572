// Matching of 2, 5 and 10 sites holding 1,000, 10,000 and 20,000 numbers each, half of every
// site's numbers synchronised (a physical extension on its home, forwarding copies everywhere
// else), the other half the site's own unsynchronised extensions. The sites are zentsim sites in
// this process, downloaded once through the real proxies; only the matching is timed.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "QuietFrame.h"
#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "document/QOBDoc.h"
#include "connection/SPDCOM.h"
#include "sim/SimHost.h"
#include "sim/SiteSetup.h"

namespace {


std::string Number(long i) {
    char text[16];
    std::snprintf(text, sizeof text, "%07ld", 1000000 + i);
    return text;
}

std::string SiteName(int s) { return "S" + std::to_string(s); }

struct Network {
    QuietFrame frame;
    CQOBDoc doc;
    std::vector<std::string> addresses;
    long distinct = 0;

    Network(int sites, long perSite) {
        std::vector<sim::SiteState> states(sites);
        for (int s = 0; s < sites; ++s) {
            sim::InitOptions o;
            o.name = SiteName(s);
            o.adminPassword = "pw";
            o.extNumberLength = 7;
            o.dialPlan = {{'8', 1}};
            // 20,000 records of 2,400 bytes exceed the largest list a connection asks for
            // (40,960,000 bytes); a server with 2,000-byte records fits.
            o.recordLength = 2000;
            std::string error;
            if (!sim::MakeSiteState(o, states[s], error)) std::abort();
        }
        auto add = [&](int s, sim::NewExtension ext) {
            std::string error;
            sim::AddOptions a;
            a.ext = std::move(ext);
            if (!sim::AddToSite(states[s], a, error)) std::abort();
        };
        // Half of each site's numbers: shared numbers, synchronised to their home.
        const long shared = perSite / 2;
        for (long i = 0; i < shared; ++i) {
            const int home = static_cast<int>(i % sites);
            const std::string number = Number(i);
            for (int s = 0; s < sites; ++s) {
                sim::NewExtension e;
                e.number = number;
                if (s == home) {
                    e.type = "physical";
                } else {
                    e.type = "virtual";
                    e.forwarding = true;
                    e.fwdDial = "8" + number;
                    e.fwdEmail = "ext" + number + "@" + SiteName(home) + ".example";
                }
                add(s, e);
            }
        }
        // The other half: each site's own extensions.
        long next = shared;
        for (int s = 0; s < sites; ++s)
            for (long i = 0; i < perSite - shared; ++i) {
                sim::NewExtension e;
                e.number = Number(next++);
                add(s, e);
            }
        distinct = next;

        doc.SetFrame(&frame);
        for (int s = 0; s < sites; ++s) {
            const std::string address = "127.0.1." + std::to_string(s + 1);
            sim::HostSite(address, std::make_shared<sim::Site>(std::move(states[s])));
            addresses.push_back(address);
            SiteRec rec;
            rec.Name = SiteName(s);
            inet_pton(AF_INET, address.c_str(), &rec.IP);
            rec.DayWhite = "pw";
            doc.m_sites.push_back(rec);
            doc.m_selServers.push_back(rec.Name);
        }
        for (SiteRec& from : doc.m_sites)
            for (const SiteRec& to : doc.m_sites)
                if (&to != &from) from.Routes.push_back(MapEntry{to.Name, to.Name + ".example", "8N"});
        if (!doc.Download()) std::abort();
    }
    ~Network() {
        doc.OnCloseDocument();
        for (const std::string& a : addresses) sim::UnhostSite(a);
    }
};

void SetUpRuntime() {
    static bool done = [] {
        static std::string dir = (std::filesystem::temp_directory_path() / "qob-bench-registry").string();
        std::filesystem::create_directories(dir);
        setenv("QOB_REGISTRY_DIR", dir.c_str(), 1);
        com::ResetProxyStubCache();
        return com::EnsureProxyLibraryRegistered();
    }();
    if (!done) std::abort();
}

void BM_Matching(benchmark::State& state) {
    SetUpRuntime();
    const int sites = static_cast<int>(state.range(0));
    const long perSite = state.range(1);
    Network net(sites, perSite);
    for (auto _ : state) {
        net.doc.MatchExtensions();
        benchmark::DoNotOptimize(net.doc.m_extList.size());
    }
    const double work = static_cast<double>(net.distinct) * sites;
    state.counters["numbers"] = static_cast<double>(net.distinct);
    state.counters["per_number"] =
        benchmark::Counter(static_cast<double>(net.distinct), benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
    state.counters["per_number_site"] =
        benchmark::Counter(work, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_Matching)
    ->ArgsProduct({{1, 2, 5, 10}, {1000, 10000, 20000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
