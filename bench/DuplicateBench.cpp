// Duplicate detection over files in the page cache (1 MB to 1 GB, a tenth of them true copies),
// against `openssl dgst -sha256` over the same files in the same run.
#include "analysis/DuplicateDetectionCore.h"
#include "platform/AppLog.h"
#include "support/BenchSupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>

using namespace tarnwick;
namespace core = tarnwick::DuplicateDetectionCore;

namespace {

struct FileSet {
    QTemporaryDir dir;
    QList<core::File> files;
    qint64 totalBytes = 0;
};

void writeFile(const QString& path, qint64 size, int seed) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray block(4 << 20, '\0');
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char((i * 131 + seed * 17 + (i >> 12)) & 0xff);
    for (qint64 written = 0, n = 0; written < size; written += n) {
        n = std::min<qint64>(block.size(), size - written);
        block[0] = char(seed); // every block of every file differs
        block[1] = char(written >> 22);
        file.write(block.constData(), n);
    }
}

// Full: 1 × 1 GB, 4 × 100 MB, 5 × 10 MB, 10 × 1 MB; one 100 MB and one 1 MB file are copies.
const FileSet& fileSet() {
    static const std::unique_ptr<FileSet> set = [] {
        auto s = std::make_unique<FileSet>();
        const qint64 MB = 1000 * 1000;
        QList<std::pair<qint64, int>> plan; // size, seed (equal seeds: true copies)
        if (!bench::smokeMode()) {
            plan.append({1000 * MB, 1});
            for (int i = 0; i < 4; ++i)
                plan.append({100 * MB, i == 3 ? 10 : 10 + i});
        }
        for (int i = 0; i < 5; ++i)
            plan.append({10 * MB, 20 + i});
        for (int i = 0; i < 10; ++i)
            plan.append({1 * MB, i == 9 ? 30 : 30 + i});
        for (int i = 0; i < plan.size(); ++i) {
            const QString path = s->dir.filePath(QStringLiteral("f%1.bin").arg(i));
            writeFile(path, plan[i].first, plan[i].second);
            s->files.append({i, path, plan[i].first, false});
            s->totalBytes += plan[i].first;
        }
        return s;
    }();
    return *set;
}

// Reads every file once so the runs below measure hashing from the page cache.
void warm(const FileSet& set) {
    for (const core::File& f : set.files)
        core::fullHash(f.path, {}, nullptr, false);
}

void BM_OpensslDgst(benchmark::State& state) {
    const FileSet& set = fileSet();
    warm(set);
    QStringList args{QStringLiteral("dgst"), QStringLiteral("-sha256")};
    for (const core::File& f : set.files)
        args.append(f.path);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), args);
        openssl.waitForFinished(-1);
        benchmark::DoNotOptimize(openssl.readAllStandardOutput());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(state.iterations() * set.totalBytes);
}

// One hashing thread, the same files: the throughput the goal compares with openssl.
void BM_FullHashOneThread(benchmark::State& state) {
    const FileSet& set = fileSet();
    warm(set);
    for (auto _ : state) {
        for (const core::File& f : set.files)
            benchmark::DoNotOptimize(core::fullHash(f.path, {}, nullptr, false));
    }
    state.SetBytesProcessed(state.iterations() * set.totalBytes);
}

void BM_DetectDuplicates(benchmark::State& state) {
    const FileSet& set = fileSet();
    warm(set);
    std::atomic<qint64> sampledBytes{0};
    core::Result result;
    for (auto _ : state) {
        sampledBytes = 0;
        core::Settings settings;
        settings.dropPagesAfterReading = false;
        settings.sampledHasher = [&sampledBytes](const core::File& f, const core::Touch& touch) {
            return core::sampledHash(f.path, f.size, touch, &sampledBytes, false);
        };
        result = core::detect(set.files, settings);
    }
    state.counters["files"] = double(set.files.size());
    state.counters["sampled"] = result.sampledCount;
    state.counters["fullyHashed"] = result.fullyHashedCount;
    state.counters["marked"] = double(result.duplicateOfByIndex.size());
    state.counters["sampledMiBPerCandidate"] =
        result.sampledCount ? double(sampledBytes.load()) / result.sampledCount / 1048576.0 : 0.0;
}

struct QuietLog {
    QuietLog() {
        AppLog::setSink([](const AppLog::Record&) {});
    }
} quietLog;

} // namespace

BENCHMARK(BM_OpensslDgst)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullHashOneThread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectDuplicates)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
