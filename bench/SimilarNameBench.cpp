// Similar names over 20,000 IMG_#### entries (one group): time and peak memory of the shared
// groups, and of filling the field with a copy per member (quadratic: 2,000 entries only).
#include "analysis/SimilarNameDetector.h"
#include "platform/AppLog.h"
#include "support/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <malloc.h>

using namespace tarnwick;

namespace {

QList<MediaFile> cameraEntries(int count) {
    QList<MediaFile> files;
    files.reserve(count);
    for (int i = 1; i <= count; ++i) {
        MediaFile file;
        file.path = QStringLiteral("/media/card/DCIM/IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
        files.append(file);
    }
    return files;
}

// Heap bytes in use (small blocks and mmapped ones).
double heapMiB() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1048576.0;
}

// The memory the result holds while it is alive: the peak the caller keeps.
void BM_SharedGroups(benchmark::State& state) {
    const QList<MediaFile> files = cameraEntries(int(state.range(0)));
    double held = 0;
    for (auto _ : state) {
        const double before = heapMiB();
        const SimilarNameDetector::Groups groups = SimilarNameDetector::detectGroups(files);
        held = heapMiB() - before;
        benchmark::DoNotOptimize(groups.groupOf.size());
    }
    state.counters["heldMiB"] = held;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FieldPerMember(benchmark::State& state) {
    const QList<MediaFile> files = cameraEntries(int(state.range(0)));
    double held = 0;
    for (auto _ : state) {
        const double before = heapMiB();
        const QList<MediaFile> out = SimilarNameDetector::detectSimilarFilenames(files);
        held = heapMiB() - before;
        benchmark::DoNotOptimize(out.size());
    }
    state.counters["heldMiB"] = held;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

struct QuietLog {
    QuietLog() {
        AppLog::setSink([](const AppLog::Record&) {});
    }
} quietLog;

} // namespace

BENCHMARK(BM_SharedGroups)->Arg(bench::smokeMode() ? 200 : 20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldPerMember)->Arg(bench::smokeMode() ? 200 : 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
