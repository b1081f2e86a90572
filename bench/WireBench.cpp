// The runtime over loopback TCP against zentsim sites served in this process:
// - a whole extension list of 17,000 records of 2,400 bytes (40.8 MB), against a plain TCP
//   transfer of the same bytes measured in the same run (counter ratio_to_tcp);
// - one small call (GetSystemConfig), against a bare request/response of the same sizes over a
//   loopback socket (counter ratio_to_echo);
// - the peak memory of `qob-cli download` of that site, against the record bytes it receives
//   (counter peak_to_records).
#include <arpa/inet.h>
#include <sched.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PeakMemory.h"
#include "com/Activation.h"
#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "proxy/Interfaces.h"
#include "server/ListBuffer.h"
#include "connection/SPDCOM.h"
#include "sim/SiteServer.h"
#include "support/NumberedSite.h"
#include "support/TempDir.h"

namespace {

constexpr uint16_t kResolverPort = 1135;
constexpr uint16_t kPlainPort = 1136;
constexpr char kBigSite[] = "127.0.0.31";
constexpr char kSmallSite[] = "127.0.0.32";
constexpr int kRecords = 17000;
constexpr uint16_t kRecordLength = 2400;
constexpr size_t kListBytes = size_t(kRecords) * kRecordLength;
// The list capacity that holds the big site's list at the first call.
constexpr uint32_t kFittingCapacity = 40960000;

// GetSystemConfig on the wire: request PDU with object UUID, ORPCTHIS and the length; response
// PDU with ORPCTHAT, the length, the conformant array of 4,096 bytes and the HRESULT.
constexpr size_t kSmallRequest = 40 + 32 + 4;
constexpr size_t kSmallReply = 24 + 8 + 4 + 4 + 4096 + 4;

struct NoOptions : server::IConnectionOptions {
    bool RelocateVM() const override { return false; }
    std::string DefaultMBUser() const override { return {}; }
    std::string DefaultMBPassword() const override { return {}; }
};

std::shared_ptr<sim::Site> MakeSite(const std::string& name, int records) {
    std::string error;
    auto site = NumberedSite(name, records, kRecordLength, error);
    if (!site) {
        std::fprintf(stderr, "cannot make site %s: %s\n", name.c_str(), error.c_str());
        std::abort();
    }
    return site;
}

// Both sites served for the whole run, the proxy library registered in a registry of our own.
struct Network {
    TempDir registry;
    std::vector<std::unique_ptr<sim::SiteServer>> servers;

    Network() {
        setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1);
        setenv("QOB_RESOLVER_PORT", std::to_string(kResolverPort).c_str(), 1);
        if (!com::EnsureProxyLibraryRegistered()) std::abort();
        Serve(MakeSite("Big", kRecords), kBigSite);
        Serve(MakeSite("Small", 10), kSmallSite);
    }
    ~Network() {
        for (auto& s : servers) s->Stop();
    }
    void Serve(std::shared_ptr<sim::Site> site, const char* address) {
        servers.push_back(std::make_unique<sim::SiteServer>(std::move(site), address));
        std::string error;
        if (!servers.back()->Start(kResolverPort, error)) {
            std::fprintf(stderr, "cannot serve %s: %s\n", address, error.c_str());
            std::abort();
        }
        servers.back()->RunInBackground();
    }
};

Network& TheNetwork() {
    static Network network;
    return network;
}

int Listen(const char* address, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address, &sa.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 4) != 0) std::abort();
    return fd;
}

int Connect(const char* address, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address, &sa.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) std::abort();
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool ReadAll(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t got = ::recv(fd, p, n, 0);
        if (got <= 0) return false;
        p += got;
        n -= size_t(got);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
        if (put <= 0) return false;
        p += put;
        n -= size_t(put);
    }
    return true;
}

// A plain TCP peer: for every request of `request` bytes it answers `reply` bytes.
class PlainPeer {
public:
    PlainPeer(size_t request, size_t reply) : m_request(request), m_reply(reply, 0x5A) {
        m_listen = Listen(kBigSite, kPlainPort);
        m_thread = std::thread([this] {
            int fd = ::accept(m_listen, nullptr, nullptr);
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::vector<uint8_t> in(m_request);
            while (ReadAll(fd, in.data(), in.size()) && WriteAll(fd, m_reply.data(), m_reply.size())) {
            }
            ::close(fd);
        });
        m_client = Connect(kBigSite, kPlainPort);
    }
    ~PlainPeer() {
        ::shutdown(m_client, SHUT_RDWR);
        ::close(m_client);
        m_thread.join();
        ::close(m_listen);
    }
    // One exchange; the reply lands in `into`.
    void Exchange(const uint8_t* request, uint8_t* into) {
        if (!WriteAll(m_client, request, m_request) || !ReadAll(m_client, into, m_reply.size())) std::abort();
    }

private:
    size_t m_request;
    std::vector<uint8_t> m_reply;
    int m_listen = -1;
    int m_client = -1;
    std::thread m_thread;
};

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::unique_ptr<server::CZentServ> Connected(NoOptions& options) {
    uint32_t ip = 0;
    inet_pton(AF_INET, kBigSite, &ip);
    auto conn = server::CreateServer("Big", ip, "pw", "", "", options);
    if (!conn || !conn->Initialize()) std::abort();
    return conn;
}

// The whole list in one GetExtensionList call through the runtime into a fresh list buffer,
// each iteration interleaved with the plain transfer of the same bytes.
void BM_DownloadExtensionList(benchmark::State& state) {
    TheNetwork();
    com::MULTI_QI qi;
    qi.pIID = &IID_IZentGetI;
    if (com::FAILED(com::CoCreateInstanceEx(CLSID_ZentServer, kBigSite, &qi, 1))) std::abort();
    auto* get = static_cast<IZentGetI*>(qi.pItf);
    PlainPeer plain(16, kListBytes);
    std::vector<uint8_t> sink(kListBytes);
    const uint8_t request[16] = {};
    double download = 0, tcp = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        server::ListBuffer list;
        if (!list.Allocate(kFittingCapacity)) std::abort();
        int32_t length = int32_t(kFittingCapacity);
        if (get->GetExtensionList(&length, list.data()) != com::S_OK || size_t(length) != kListBytes) std::abort();
        const double took = Seconds(Clock::now() - start);
        list.Reset();
        state.SetIterationTime(took);
        download += took;
        start = Clock::now();
        plain.Exchange(request, sink.data());
        tcp += Seconds(Clock::now() - start);
    }
    get->Release();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kListBytes));
    state.counters["ratio_to_tcp"] = tcp / download;
    state.counters["tcp_MBps"] = double(kListBytes) * double(state.iterations()) / tcp / 1e6;
}
BENCHMARK(BM_DownloadExtensionList)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// What a connection does to load the site: the record definition, the list, and the summary and
// record maps built from it.
void BM_DownloadAndLoadSite(benchmark::State& state) {
    TheNetwork();
    NoOptions options;
    PlainPeer plain(16, kListBytes);
    std::vector<uint8_t> sink(kListBytes);
    const uint8_t request[16] = {};
    double download = 0, tcp = 0;
    for (auto _ : state) {
        auto conn = Connected(options);
        server::CZentServDcom::SetListCapacity(kFittingCapacity);
        auto start = Clock::now();
        if (!conn->LoadExtensions() || conn->GetExtCount() != kRecords) std::abort();
        const double took = Seconds(Clock::now() - start);
        state.SetIterationTime(took);
        download += took;
        conn.reset();
        start = Clock::now();
        plain.Exchange(request, sink.data());
        tcp += Seconds(Clock::now() - start);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kListBytes));
    state.counters["ratio_to_tcp"] = tcp / download;
}
BENCHMARK(BM_DownloadAndLoadSite)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Every thread of the process on one core, or back on all of them. A wakeup across cores costs
// this machine about 20 us, more than a whole call; left to the scheduler, one pair of threads
// often shares a core and the other does not, and the comparison measures that instead.
void PinAllThreads(bool pin) {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (pin) {
        CPU_SET(sched_getcpu(), &set);
    } else {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) CPU_SET(cpu, &set);
    }
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec))
        sched_setaffinity(pid_t(std::stol(task.path().filename().string())), sizeof set, &set);
}

// GetSystemConfig on an activated IZentGetI, against an echo of the same sizes; both pairs of
// threads on one core.
void BM_SmallCall(benchmark::State& state) {
    TheNetwork();
    com::MULTI_QI qi;
    qi.pIID = &IID_IZentGetI;
    if (com::FAILED(com::CoCreateInstanceEx(CLSID_ZentServer, kBigSite, &qi, 1))) std::abort();
    auto* get = static_cast<IZentGetI*>(qi.pItf);
    PlainPeer echo(kSmallRequest, kSmallReply);
    std::vector<uint8_t> config(4096), reply(kSmallReply);
    const std::vector<uint8_t> request(kSmallRequest, 0x11);
    int32_t warm = 4096;
    get->GetSystemConfig(&warm, config.data());  // the connection's thread exists from here
    PinAllThreads(true);
    double call = 0, bare = 0;
    for (auto _ : state) {
        int32_t length = 4096;
        auto start = Clock::now();
        if (com::FAILED(get->GetSystemConfig(&length, config.data()))) std::abort();
        const double took = Seconds(Clock::now() - start);
        state.SetIterationTime(took);
        call += took;
        start = Clock::now();
        echo.Exchange(request.data(), reply.data());
        bare += Seconds(Clock::now() - start);
    }
    PinAllThreads(false);
    get->Release();
    state.counters["ratio_to_echo"] = call / bare;
    state.counters["echo_us"] = bare / double(state.iterations()) * 1e6;
}
BENCHMARK(BM_SmallCall)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);

std::string BinDir() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
}

// Runs qob-cli in `dir` and returns its peak resident memory in bytes (0 when it failed).
long PeakOfQobCli(const std::string& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {BinDir() + "/qob-cli", "--dir", dir});
    return bench::PeakMemoryOf(args);
}

// qob-cli download of the big site and a small one (a download needs two), its peak memory
// against the record bytes received; `baseline_MB` is the peak of a command that reads the same
// configuration and downloads nothing.
void BM_DownloadPeakMemory(benchmark::State& state) {
    TheNetwork();
    TempDir work;
    if (!PeakOfQobCli(work.path(), {"site", "add", "Big", kBigSite}) ||
        !PeakOfQobCli(work.path(), {"site", "add", "Small", kSmallSite}) ||
        !PeakOfQobCli(work.path(), {"route", "set", "Big", "Small", "--fwd", "8N", "--suffix", "small.example"}) ||
        !PeakOfQobCli(work.path(), {"route", "set", "Small", "Big", "--fwd", "8N", "--suffix", "big.example"})) {
        state.SkipWithError("qob-cli could not write the configuration");
        return;
    }
    long peak = 0, baseline = 0;
    for (auto _ : state) {
        peak = PeakOfQobCli(work.path(), {"download", "Big", "Small", "--password", "Big=pw", "--password", "Small=pw"});
        if (peak == 0) {
            state.SkipWithError("qob-cli download failed");
            return;
        }
        baseline = PeakOfQobCli(work.path(), {"sites"});
    }
    state.counters["peak_MB"] = double(peak) / 1e6;
    state.counters["baseline_MB"] = double(baseline) / 1e6;
    state.counters["peak_to_records"] = double(peak) / double(kListBytes);
    state.counters["above_baseline_to_records"] = double(peak - baseline) / double(kListBytes);
}
BENCHMARK(BM_DownloadPeakMemory)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peak-of") == 0) return bench::RunForPeak(argv + 2);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
