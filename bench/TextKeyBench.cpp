// Text keys over media-list sized inputs: canonical (NFC) hashing against plain hashing, lower-cased
// path components, byte-count texts and grapheme counts.
#include "model/PathComponents.h"
#include "platform/ByteCountText.h"
#include "platform/Graphemes.h"
#include "platform/TextKey.h"
#include "support/BenchSupport.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <benchmark/benchmark.h>

#include <cstdlib>

using tarnwick::text;

namespace {

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1000);
    if (!tarnwick::bench::smokeMode())
        b->Arg(100000);
}

enum class Script { ascii, accented, decomposed };

QStringList makePaths(int n, Script script) {
    QStringList paths;
    paths.reserve(n);
    const QString folder = script == Script::ascii ? QStringLiteral("/Volumes/Media/Tour")
                           : script == Script::accented
                               ? QStringLiteral("/Volumes/M\u00e9dia/Tourn\u00e9e")
                               : QStringLiteral("/Volumes/Me\u0301dia/Tourne\u0301e");
    for (int i = 0; i < n; ++i)
        paths.append(folder + QStringLiteral("/Day %1/A%2_C%3.mov").arg(i % 40).arg(i).arg(i % 7));
    return paths;
}

void BM_PlainHashSet(benchmark::State& state, Script script) {
    const QStringList paths = makePaths(int(state.range(0)), script);
    for (auto _ : state) {
        QSet<QString> set;
        set.reserve(paths.size());
        for (const QString& p : paths)
            set.insert(p);
        benchmark::DoNotOptimize(set.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

struct CanonicalKey {
    QString text;
    friend bool operator==(const CanonicalKey& a, const CanonicalKey& b) {
        return text::canonicalEquals(a.text, b.text);
    }
};

size_t qHash(const CanonicalKey& k, size_t seed) {
    return text::canonicalHash(k.text, seed);
}

void BM_CanonicalHashSet(benchmark::State& state, Script script) {
    const QStringList paths = makePaths(int(state.range(0)), script);
    for (auto _ : state) {
        QSet<CanonicalKey> set;
        set.reserve(paths.size());
        for (const QString& p : paths)
            set.insert(CanonicalKey{p});
        benchmark::DoNotOptimize(set.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_PathComponents(benchmark::State& state) {
    const QStringList paths = makePaths(int(state.range(0)), Script::ascii);
    for (auto _ : state) {
        qsizetype total = 0;
        for (const QString& p : paths)
            total += tarnwick::pathComponentsHelper(p).size();
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ByteCountText(benchmark::State& state) {
    const qint64 n = state.range(0);
    for (auto _ : state) {
        qsizetype total = 0;
        for (qint64 i = 0; i < n; ++i)
            total += tarnwick::formatFileByteCount(i * 7919 * 104729).size();
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_GraphemeCount(benchmark::State& state, Script script) {
    const QStringList paths = makePaths(int(state.range(0)), script);
    for (auto _ : state) {
        qsizetype total = 0;
        for (const QString& p : paths)
            total += tarnwick::graphemes::count(p);
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK_CAPTURE(BM_PlainHashSet, ascii, Script::ascii)->Apply(sizes);
BENCHMARK_CAPTURE(BM_PlainHashSet, accented, Script::accented)->Apply(sizes);
BENCHMARK_CAPTURE(BM_PlainHashSet, decomposed, Script::decomposed)->Apply(sizes);
BENCHMARK_CAPTURE(BM_CanonicalHashSet, ascii, Script::ascii)->Apply(sizes);
BENCHMARK_CAPTURE(BM_CanonicalHashSet, accented, Script::accented)->Apply(sizes);
BENCHMARK_CAPTURE(BM_CanonicalHashSet, decomposed, Script::decomposed)->Apply(sizes);
BENCHMARK(BM_PathComponents)->Apply(sizes);
BENCHMARK(BM_ByteCountText)->Apply(sizes);
BENCHMARK_CAPTURE(BM_GraphemeCount, ascii, Script::ascii)->Apply(sizes);
BENCHMARK_CAPTURE(BM_GraphemeCount, accented, Script::accented)->Apply(sizes);
BENCHMARK_CAPTURE(BM_GraphemeCount, decomposed, Script::decomposed)->Apply(sizes);

BENCHMARK_MAIN();
