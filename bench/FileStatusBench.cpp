// File status and storage type of 100,000 files on the local disk, and of 100,000 paths in a folder
// that does not exist, against a plain stat loop over the same paths; counts the stat calls per path.
#include "analysis/FileStatusChecker.h"
#include "analysis/FileStatusScan.h"
#include "platform/AppLog.h"
#include "platform/FileStatProbe.h"
#include "platform/MountTable.h"
#include "support/BenchSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

using namespace tarnwick;

namespace {

// {paths, in a folder that does not exist}
void sizes(benchmark::internal::Benchmark* b) {
    b->Args({1000, 0})->Args({1000, 1});
    if (!bench::smokeMode())
        b->Args({100000, 0})->Args({100000, 1});
}

using CountingProbe = bench::CountingStatProbe;

struct Files {
    QTemporaryDir dir;
    QStringList paths;
};

const QStringList& paths(int count) {
    static QHash<int, std::shared_ptr<Files>> made;
    auto& files = made[count];
    if (!files) {
        files = std::make_shared<Files>();
        for (int i = 0; i < count; ++i) {
            const QString folder = files->dir.filePath(QStringLiteral("Day %1").arg(i / 1000));
            if (i % 1000 == 0)
                QDir().mkpath(folder);
            const QString path = folder + QStringLiteral("/A%1_C001.mov").arg(i);
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write("x", 1);
            files->paths.append(path);
        }
    }
    return files->paths;
}

// The same names in a folder that is gone, as a list of clips whose drive is not mounted names them.
const QStringList& missingPaths(int count) {
    static QHash<int, QStringList> made;
    QStringList& list = made[count];
    if (list.isEmpty()) {
        for (int i = 0; i < count; ++i)
            list.append(QStringLiteral("/nonexistent-volume/Day %1/A%2_C001.mov").arg(i / 1000).arg(i));
    }
    return list;
}

const QStringList& pathsFor(const benchmark::State& state) {
    return state.range(1) ? missingPaths(int(state.range(0))) : paths(int(state.range(0)));
}

void BM_PlainStatLoop(benchmark::State& state) {
    const QStringList& all = pathsFor(state);
    for (auto _ : state) {
        qint64 total = 0;
        for (const QString& path : all) {
            struct ::stat st {};
            if (::stat(QFile::encodeName(path).constData(), &st) == 0)
                total += st.st_size;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// What the import's scan does: the mount table read once, then every path on the 100-thread pool.
void BM_FileStatusScan(benchmark::State& state) {
    const QStringList& all = pathsFor(state);
    auto probe = std::make_shared<CountingProbe>();
    FileStatusScan scan(std::make_shared<FileStatusChecker>(probe));
    for (auto _ : state) {
        FileStatusChecking::Options options;
        options.mountTable = std::make_shared<const MountTable>(MountTable::readCurrent());
        benchmark::DoNotOptimize(scan.checkAll(all, {}, options).size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["statsPerPath"] =
        double(probe->calls.load()) / double(state.iterations() * state.range(0));
}

// What the rescan does: one path after the other on the calling thread.
void BM_CheckerOneByOne(benchmark::State& state) {
    const QStringList& all = pathsFor(state);
    auto probe = std::make_shared<CountingProbe>();
    const FileStatusChecker checker(probe);
    for (auto _ : state) {
        FileStatusChecking::Options options;
        options.mountTable = std::make_shared<const MountTable>(MountTable::readCurrent());
        qint64 total = 0;
        for (const QString& path : all)
            total += checker.makeFileStatusResult(path, {}, options).size;
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["statsPerPath"] =
        double(probe->calls.load()) / double(state.iterations() * state.range(0));
}

struct QuietLog {
    QuietLog() {
        AppLog::setSink([](const AppLog::Record&) {});
    }
} quietLog;

} // namespace

BENCHMARK(BM_PlainStatLoop)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileStatusScan)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckerOneByOne)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
