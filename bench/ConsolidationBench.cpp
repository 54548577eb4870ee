// Consolidation of 1,000 shared file names × 200 entries each; counts the stat calls per entry.
#include "analysis/MediaConsolidator.h"
#include "platform/AppLog.h"
#include "platform/FileStatProbe.h"
#include "support/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>

using namespace tarnwick;

namespace {

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({10, 20});
    if (!bench::smokeMode())
        b->Args({1000, 200});
}

using CountingProbe = bench::CountingStatProbe;

// Each name lives on 20 volumes × 10 day folders in 4 sizes: every name keeps 20 distinct files
// (day folder and size) and the rest of its entries merge into them.
QList<MediaFile> makeEntries(int names, int perName) {
    QList<MediaFile> files;
    files.reserve(names * perName);
    for (int j = 0; j < perName; ++j) {
        for (int n = 0; n < names; ++n) {
            MediaFile file;
            file.path = QStringLiteral("/mnt/vol%1/Day%2/A%3_C001.mov").arg(j % 20).arg(j % 10).arg(n);
            file.size = 1000 + j % 4;
            file.status = MediaFileStatus::online;
            file.usageCount = 1;
            files.append(file);
        }
    }
    return files;
}

void BM_Consolidate(benchmark::State& state) {
    const QList<MediaFile> entries = makeEntries(int(state.range(0)), int(state.range(1)));
    auto probe = std::make_shared<CountingProbe>();
    const MediaConsolidator consolidator(probe);
    qsizetype kept = 0;
    for (auto _ : state)
        kept = consolidator.consolidateCrossProjectDuplicates(entries).size();
    state.SetItemsProcessed(state.iterations() * entries.size());
    state.counters["entries"] = double(entries.size());
    state.counters["kept"] = double(kept);
    state.counters["statsPerEntry"] =
        double(probe->calls.load()) / double(state.iterations() * entries.size());
}

struct QuietLog {
    QuietLog() {
        AppLog::setSink([](const AppLog::Record&) {});
    }
} quietLog;

} // namespace

BENCHMARK(BM_Consolidate)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
