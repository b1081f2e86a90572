// What one change costs `zentsim serve` as its site grows: a record replaced through the Site and
// committed (its entry appended to the change log and flushed to disk, and the log folded into
// the state file whenever it outgrows half the state), at 1,000, 10,000 and 100,000 records of
// 2,400 bytes. BM_Fold is one fold at each size: what every change cost when each rewrote the
// whole state file. The files are in TMPDIR; flushing costs what its file system takes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "sim/Site.h"
#include "sim/StateCodec.h"
#include "support/NumberedSite.h"
#include "support/TempDir.h"

namespace {

constexpr uint16_t kRecordLength = 2400;

struct SavedSite {
    TempDir dir;
    std::shared_ptr<sim::Site> site;
};

// One site per size, saved once for the whole run.
sim::Site* SiteOf(int records) {
    static std::map<int, std::unique_ptr<SavedSite>> sites;
    auto& s = sites[records];
    if (!s) {
        s = std::make_unique<SavedSite>();
        std::string error;
        auto memory = NumberedSite("Bench", records, kRecordLength, error);
        if (memory) s->site = sim::Site::Create(std::move(memory->State()), s->dir.file("site.json"), false, error);
        if (!s->site) {
            std::fprintf(stderr, "cannot make the site: %s\n", error.c_str());
            std::abort();
        }
    }
    return s->site.get();
}

void BM_ReplaceRecordCommit(benchmark::State& state) {
    const int records = int(state.range(0));
    sim::Site* site = SiteOf(records);
    std::size_t folds = 0;
    uint8_t mark = 0;
    int i = 0;
    std::size_t before = site->LogBytes();
    for (auto _ : state) {
        {
            std::lock_guard lock(site->Mutex());
            const std::string number = std::to_string(10000 + (i++ * 7919) % records);
            sim::Bytes bytes = site->State().FindRecord(number)->bytes;
            bytes[2000] = ++mark;
            sim::UndoLog undo;
            if (!site->State().ReplaceRecord(std::move(bytes), &undo) || site->Commit(undo) != com::S_OK) {
                state.SkipWithError("the commit failed");
                return;
            }
        }
        const std::size_t after = site->LogBytes();
        if (after < before) ++folds;
        before = after;
    }
    state.counters["records"] = records;
    state.counters["folds"] = double(folds);
}
BENCHMARK(BM_ReplaceRecordCommit)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_Fold(benchmark::State& state) {
    const int records = int(state.range(0));
    sim::Site* site = SiteOf(records);
    for (auto _ : state) {
        std::lock_guard lock(site->Mutex());
        std::string error;
        if (!site->Save(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    state.counters["records"] = records;
}
BENCHMARK(BM_Fold)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
