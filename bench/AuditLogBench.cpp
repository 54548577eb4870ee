// Reading an audit log of 1,000,000 entries and appending one entry: the store (an index over the
// file's bytes, the append a journal line) against what it replaced in the same run (the whole file
// decoded into a list of entries, the append a rewrite of the whole file). Each run is a child
// process, so its time and peak memory are its own; medians of interleaved pairs, with the load.
#include "model/MediaFile.h"
#include "platform/AppLog.h"
#include "platform/JsonForm.h"
#include "stores/AuditLogManager.h"
#include "stores/StoreFile.h"
#include "support/BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tarnwick;

namespace {

constexpr int pairs = 5;

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

// The log written in the encoder's form, streamed so this process stays small.
void writeLog(const QString& path, int count) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QByteArray chunk = "[";
    for (int i = 0; i < count; ++i) {
        const auto action = i % 5 == 2 ? AuditAction::movedToFolder : AuditAction::movedToTrash;
        const auto destination =
            i % 5 == 2 ? std::optional<QString>(QStringLiteral("/Volumes/Archive/%1.mov").arg(i))
                       : std::nullopt;
        if (i > 0)
            chunk += ',';
        chunk += json::encode(AuditLogEntry::make(action, mediaFile(i), destination).toJson());
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    chunk += ']';
    file.write(chunk);
}

struct Figures {
    double ms = 0;
    double peakMb = 0;
    qint64 entries = 0;
};

// `work` in a child process: its time, what it returned, and the child's peak resident memory.
Figures inChild(const std::function<qint64()>& work) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        QElapsedTimer clock;
        clock.start();
        const qint64 entries = work();
        const double result[2] = {double(clock.nsecsElapsed()) / 1e6, double(entries)};
        benchmark::DoNotOptimize(::write(fds[1], result, sizeof result));
        ::_exit(0);
    }
    ::close(fds[1]);
    double result[2] = {0, 0};
    benchmark::DoNotOptimize(::read(fds[0], result, sizeof result));
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return {result[0], double(usage.ru_maxrss) / 1024.0, qint64(result[1])};
}

const MediaFile appended = mediaFile(2'000'000);

// The store: the entries read through the index, then one entry logged.
qint64 current(const QString& folder) {
    AuditLogManager log(folder, nullptr);
    const qint64 count = log.count();
    log.log(AuditAction::movedToTrash, appended);
    return count;
}

// What it replaced: the whole file decoded into a list, then the whole file written again with the
// new entry spliced in (the old store kept the encoded bytes to spare the re-encode).
qint64 previous(const QString& logPath, const QString& rewritten) {
    StoreFile file(logPath);
    std::optional<QByteArray> bytes = file.read();
    if (!bytes)
        return -1;
    const auto doc = json::decode(*bytes);
    QList<AuditLogEntry> entries;
    for (const QJsonValue& value : doc->array()) {
        if (const auto entry = AuditLogEntry::fromJson(value.toObject()))
            entries.append(*entry);
    }
    entries.append(AuditLogEntry::make(AuditAction::movedToTrash, appended, std::nullopt));
    bytes->chop(1);
    *bytes += ',' + json::encode(entries.back().toJson()) + ']';
    StoreFile(rewritten).write(*bytes);
    return entries.size() - 1;
}

void BM_AuditLogLoadAndAppend(benchmark::State& state) {
    const int count = int(state.range(0));
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("store"));
    QDir().mkpath(folder);
    const QString logPath = folder + QStringLiteral("/audit_log.json");
    writeLog(logPath, count);
    const QString journal = folder + QStringLiteral("/audit_log.journal");
    const QString rewritten = dir.filePath(QStringLiteral("rewritten.json"));
    for (auto _ : state) {
        std::vector<double> newMs, newMb, oldMs, oldMb, idleMb;
        for (int i = 0; i < (bench::smokeMode() ? 1 : pairs); ++i) {
            QFile::remove(journal);
            const Figures a = inChild([&] { return current(folder); });
            const Figures b = inChild([&] { return previous(logPath, rewritten); });
            const Figures idle = inChild([] { return qint64(0); });
            if (a.entries != count || b.entries != count)
                state.SkipWithError("an entry count is off");
            newMs.push_back(a.ms);
            newMb.push_back(a.peakMb);
            oldMs.push_back(b.ms);
            oldMb.push_back(b.peakMb);
            idleMb.push_back(idle.peakMb);
        }
        state.counters["store_ms"] = bench::median(newMs);
        state.counters["store_peak_mb"] = bench::median(newMb);
        state.counters["previous_ms"] = bench::median(oldMs);
        state.counters["previous_peak_mb"] = bench::median(oldMb);
        state.counters["process_mb"] = bench::median(idleMb); // a child that does nothing
        state.counters["file_mb"] = double(QFileInfo(logPath).size()) / 1048576.0;
        state.counters["load"] = bench::loadAverage();
    }
}

} // namespace

BENCHMARK(BM_AuditLogLoadAndAppend)
    ->Arg(bench::smokeMode() ? 1'000 : 1'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    AppLog::setSink([](const AppLog::Record&) {}); // the same "Audit: " line in both
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
