// Appending one clean-up operation's entries to an existing audit log: one write for the batch
// versus one whole-file rewrite per entry.
#include "model/MediaFile.h"
#include "platform/AppLog.h"
#include "platform/JsonForm.h"
#include "stores/AuditLogManager.h"
#include "support/BenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace tarnwick;

namespace {

MediaFile mediaFile(int i) {
    MediaFile file;
    file.path = QStringLiteral("/Volumes/Media/Project %1/Day %2/A%3_C%4.mov")
                    .arg(i % 7)
                    .arg(i % 31)
                    .arg(i % 100)
                    .arg(i);
    file.size = 100'000'000 + i;
    file.projectNames = {QStringLiteral("Feature Cut v%1").arg(i % 5)};
    return file;
}

// The encoded log of `count` entries, built once per size.
const QByteArray& existingLog(int count) {
    static QHash<int, QByteArray> cache;
    auto it = cache.find(count);
    if (it == cache.end()) {
        QJsonArray array;
        for (int i = 0; i < count; ++i)
            array.append(AuditLogEntry::make(AuditAction::movedToTrash, mediaFile(i), std::nullopt).toJson());
        it = cache.insert(count, json::encode(array));
    }
    return *it;
}

QList<AuditLogManager::Request> cleanUp(int count) {
    QList<AuditLogManager::Request> requests;
    for (int i = 0; i < count; ++i)
        requests.append({AuditAction::movedToFolder, mediaFile(1'000'000 + i),
                         QStringLiteral("/Volumes/Archive/%1.mov").arg(i)});
    return requests;
}

// Arguments: entries already in the log, entries of the clean-up, and how many of those the
// one-by-one variant really appends (each costs a whole-file rewrite; the rest is projected, the
// log growing by at most 1 % meanwhile).
void appendCleanUp(benchmark::State& state, bool batched) {
    const int logSize = int(state.range(0));
    const int cleanUpSize = int(state.range(1));
    const int measured = batched ? cleanUpSize : int(state.range(2));
    const auto requests = cleanUp(cleanUpSize);
    for (auto _ : state) {
        QTemporaryDir dir;
        {
            QFile file(dir.filePath(QStringLiteral("audit_log.json")));
            if (!file.open(QIODevice::WriteOnly) || file.write(existingLog(logSize)) < 0)
                state.SkipWithError("could not prepare the log");
        }
        AuditLogManager manager(dir.path(), nullptr);
        QElapsedTimer timer;
        timer.start();
        if (batched) {
            manager.log(requests);
        } else {
            for (int i = 0; i < measured; ++i)
                manager.log(requests[i].action, requests[i].file, requests[i].destination);
        }
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds * cleanUpSize / measured);
        benchmark::DoNotOptimize(manager.entries().size());
    }
    if (measured < cleanUpSize)
        state.SetLabel(
            QStringLiteral("projected from %1 of %2 appends").arg(measured).arg(cleanUpSize).toStdString());
}

void BM_AuditLogBatchAppend(benchmark::State& state) {
    appendCleanUp(state, true);
}

void BM_AuditLogOneByOneAppend(benchmark::State& state) {
    appendCleanUp(state, false);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->UseManualTime();
    if (bench::smokeMode()) {
        b->Args({200, 20, 20});
        return;
    }
    b->Args({10'000, 1'000, 1'000})->Args({100'000, 1'000, 100});
}

} // namespace

BENCHMARK(BM_AuditLogBatchAppend)->Apply(sizes);
BENCHMARK(BM_AuditLogOneByOneAppend)->Apply(sizes)->Iterations(1);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    AppLog::setSink([](const AppLog::Record&) {}); // the "Audit: " lines are the same for both
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
