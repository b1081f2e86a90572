// Loading a zentsim state file of 100,000 records of 2,400 bytes, as every zentsim command and
// `zentsim serve` do: the time of Site::Open (reading the file and parsing it), and the peak
// memory of a fresh process that does nothing else, against the file's size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PeakMemory.h"
#include "sim/Site.h"
#include "sim/StateCodec.h"
#include "support/NumberedSite.h"
#include "support/TempDir.h"

namespace {

constexpr int kRecords = 100000;
constexpr uint16_t kRecordLength = 2400;

// The state file, written once for the whole run.
struct StateFile {
    TempDir dir;
    std::string path = dir.file("big.json");
    std::string small = dir.file("small.json");
    size_t bytes = 0;

    StateFile() {
        std::string error;
        for (auto [file, records] : {std::pair{&path, kRecords}, std::pair{&small, 1}}) {
            auto site = NumberedSite("Big", records, kRecordLength, error);
            if (!site) {
                std::fprintf(stderr, "cannot make the site: %s\n", error.c_str());
                std::abort();
            }
            const std::string text = sim::SerializeState(site->State());
            std::ofstream(*file, std::ios::binary) << text;
            if (records == kRecords) bytes = text.size();
        }
    }
};

StateFile& TheStateFile() {
    static StateFile file;
    return file;
}

void BM_LoadState(benchmark::State& state) {
    StateFile& file = TheStateFile();
    for (auto _ : state) {
        std::string error;
        auto site = sim::Site::Open(file.path, error);
        if (!site) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(site);
    }
    state.counters["records"] = kRecords;
    state.counters["file_MB"] = double(file.bytes) / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.bytes));
}
BENCHMARK(BM_LoadState)->Unit(benchmark::kMillisecond)->Iterations(5);

// The peak resident memory of a process that loads `path` and does nothing else (0 when it failed).
long PeakOfLoading(const std::string& path) {
    return bench::PeakMemoryOf({std::filesystem::read_symlink("/proc/self/exe").string(), "--load-only", path});
}

// `peak_to_file` is the goal's measure (at most 10); `above_baseline_to_file` leaves out what a
// process loading a one-record state takes.
void BM_LoadStatePeakMemory(benchmark::State& state) {
    StateFile& file = TheStateFile();
    long peak = 0, baseline = 0;
    for (auto _ : state) {
        peak = PeakOfLoading(file.path);
        baseline = PeakOfLoading(file.small);
        if (peak == 0 || baseline == 0) {
            state.SkipWithError("loading the state failed");
            return;
        }
    }
    state.counters["peak_MB"] = double(peak) / 1e6;
    state.counters["baseline_MB"] = double(baseline) / 1e6;
    state.counters["peak_to_file"] = double(peak) / double(file.bytes);
    state.counters["above_baseline_to_file"] = double(peak - baseline) / double(file.bytes);
}
BENCHMARK(BM_LoadStatePeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// `state_load_bench --load-only FILE`: loads the state as zentsim does, and nothing else.
int LoadOnly(const char* path) {
    std::string error;
    auto site = sim::Site::Open(path, error);
    if (!site) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peak-of") == 0) return bench::RunForPeak(argv + 2);
    if (argc == 3 && std::strcmp(argv[1], "--load-only") == 0) return LoadOnly(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
