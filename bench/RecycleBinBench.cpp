// The recycle bin's bulk actions at 100,000 media entries: Add to Bin of 50,000 files and Restore
// All of them, with real logging (a line per file, the system logger absent or not) and the audit
// log on disk. Each figure is the longest the GUI thread was held while the action ran to its end
// (a 10 ms timer); the reference, measured in the same run, is one copy of the media list (the
// cost of touching every record once) and the audit log's own write of as many entries.
#include "actions/RecycleBin.h"
#include "platform/AppLog.h"
#include "stores/AuditLogManager.h"
#include "support/BenchSupport.h"
#include "support/ProcessFacts.h"
#include "support/ProjectManagerHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <benchmark/benchmark.h>

#include <cstdio>

using namespace tarnwick;

namespace {

int mediaCount() {
    return bench::smokeMode() ? 200 : 100000;
}

QList<MediaFile> makeMedia(int n) {
    QList<MediaFile> media;
    media.reserve(n);
    for (int i = 0; i < n; ++i)
        media.append(testing::media(QStringLiteral("/Volumes/Media/Show%1/Day%2/A%3_C%4.mov")
                                        .arg(i % 20)
                                        .arg((i / 20) % 30)
                                        .arg(i, 6, 10, QLatin1Char('0'))
                                        .arg(i % 97),
                                    0, MediaFileStatus::online, 1000 + i));
    return media;
}

// The longest the GUI thread was held while an action ran to its end (its `done`): the action
// itself, the work applied when a worker is back, and the change signals that follow.
double heldMs(const std::function<void(std::function<void()> done)>& action, double* workMs = nullptr) {
    const bench::StallMeter stalls;
    bool finished = false;
    action([&finished] { finished = true; });
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (workMs)
        *workMs = stalls.longestWorkMs();
    return double(stalls.longestMs());
}

void BM_AddAndRestoreHalfTheMedia(benchmark::State& state) {
    const int n = mediaCount();
    for (auto _ : state) {
        QList<double> staging, restoring, stagingWork, restoringWork, copying, auditing, load;
        for (int p = 0; p < (bench::smokeMode() ? 1 : 5); ++p) {
            testing::ProjectManagerHarness h;
            h.pm().edit(ProjectManager::ListChange::none).setMediaFiles(makeMedia(n));
            QCoreApplication::processEvents();
            load.append(bench::loadAverage());
            QList<MediaFile> half;
            for (int i = 0; i < n; i += 2)
                half.append(h.pm().mediaFiles()[i]);
            copying.append(heldMs([&](const std::function<void()>& done) {
                QList<MediaFile> copy;
                copy.reserve(n);
                for (const MediaFile& f : h.pm().mediaFiles())
                    copy.append(f);
                benchmark::DoNotOptimize(copy.size());
                done();
            }));
            RecycleBin bin(h.pm(), {nullptr, &h.audit, &h.stats, nullptr});
            double work = 0;
            staging.append(heldMs(
                [&](std::function<void()> done) { bin.addToRecycleBin(half, std::move(done)); }, &work));
            stagingWork.append(work);
            restoring.append(heldMs(
                [&](std::function<void()> done) { bin.restoreAllFromRecycleBin(std::move(done)); }, &work));
            restoringWork.append(work);
            // The audit log's own write of as many entries: its share of the restore.
            QList<AuditLogManager::Request> requests;
            for (const MediaFile& f : std::as_const(half))
                requests.append({AuditAction::restored, f, std::nullopt});
            auditing.append(heldMs([&](const std::function<void()>& done) {
                h.audit.log(requests);
                done();
            }));
            AppLog::flush(); // the lines the writer still had, outside the timed part
            std::fprintf(
                stderr,
                "run %d: add %d to bin %.0f ms, restore all %.0f ms (the audit log's write of as many "
                "entries alone: %.0f ms), copy of the list %.0f ms, load %.1f\n",
                p + 1, int(half.size()), staging.last(), restoring.last(), auditing.last(), copying.last(),
                load.last());
        }
        state.counters["add_ms"] = bench::median(staging);
        state.counters["add_work_ms"] = bench::median(stagingWork);
        state.counters["restore_all_work_ms"] = bench::median(restoringWork);
        state.counters["restore_all_ms"] = bench::median(restoring);
        state.counters["copy_ms"] = bench::median(copying);
        state.counters["audit_write_ms"] = bench::median(auditing);
        state.counters["load"] = bench::median(load);
    }
}

} // namespace

BENCHMARK(BM_AddAndRestoreHalfTheMedia)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true); // no store of the user's is ever touched
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
