// Similar names over 20,000 IMG_#### entries (one group): time and peak memory of the shared
// groups, and of filling the field with a copy per member (quadratic: 2,000 entries only). And the
// grouping of 100,000 names as an import has them (a tenth with a proxy or a numbered take),
// against running the pattern once per name alone, in the same run.
#include "analysis/SimilarNameDetector.h"
#include "platform/AppLog.h"
#include "support/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
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

QStringList importPaths(int count) {
    QStringList paths;
    paths.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString suffix = i % 20 == 1   ? QStringLiteral("_proxy")
                               : i % 20 == 2 ? QStringLiteral("_12")
                                             : QString();
        paths.append(QStringLiteral("/media/Day %1/A%2_C%3%4.mov")
                         .arg(i / 1000)
                         .arg(i / 1000, 3, 10, QLatin1Char('0'))
                         .arg(i % 20 == 0 || i % 20 > 2 ? i : i - i % 20)
                         .arg(suffix));
    }
    return paths;
}

void BM_GroupsOfImportNames(benchmark::State& state) {
    const QStringList paths = importPaths(int(state.range(0)));
    qsizetype grouped = 0;
    for (auto _ : state) {
        const SimilarNameDetector::Groups groups = SimilarNameDetector::detectGroups(paths);
        grouped = std::count_if(groups.groupOf.begin(), groups.groupOf.end(),
                                [](const auto& g) { return bool(g); });
    }
    state.counters["grouped"] = double(grouped);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The reference: the pattern alone, once per name (no grouping at all).
void BM_PatternPerName(benchmark::State& state) {
    const QStringList paths = importPaths(int(state.range(0)));
    for (auto _ : state) {
        qsizetype total = 0;
        for (const QString& path : paths)
            total += SimilarNameDetector::patternBaseName(
                         path.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0))
                         .size();
        benchmark::DoNotOptimize(total);
    }
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
BENCHMARK(BM_GroupsOfImportNames)->Arg(bench::smokeMode() ? 200 : 100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PatternPerName)->Arg(bench::smokeMode() ? 200 : 100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
