// Trash, permanent deletion and move to a folder of 10,000 staged small files, through the actions
// as the window calls them, with the records journal and the audit log on the same disk. One run per
// process and kind: the same benchmark built against other code is run in turn with this one
// (interleaved pairs, see bench/README.md), so both halves of a pair meet the same machine.
#include "actions/MoveToFolderAction.h"
#include "actions/RemovalRun.h"
#include "platform/AppLog.h"
#include "stores/AuditLogManager.h"
#include "stores/StatsManager.h"
#include "support/BenchSupport.h"
#include "support/CleanupHarness.h"
#include "support/StagedMedia.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <unistd.h>

using namespace tarnwick;

namespace {

enum class Kind { trash, deletion, move };

// One run over `count` files made for it; its time in milliseconds, or -1 when a file stayed.
double timeRun(Kind kind, int count) {
    QTemporaryDir root;
    const testing::ScopedEnv data("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    const QStringList paths = bench::makeMediaFiles(root.filePath(QStringLiteral("media")), count);
    AuditLogManager audit(root.filePath(QStringLiteral("store")), nullptr);
    StatsManager stats(root.filePath(QStringLiteral("store")));
    testing::ProjectManagerHarness h;
    bench::stageAll(h.pm(), paths);
    CleanupServices services;
    services.auditLog = &audit;
    services.statsManager = &stats;
    // The files' own writes are on the disk before the clock starts: only the run's are measured.
    ::sync();
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    const ActionResult result =
        kind == Kind::move
            ? QCoro::waitFor(MoveToFolderAction::moveRecycleBinToFolder(
                  h.pm(), root.filePath(QStringLiteral("archive")), services))
            : QCoro::waitFor(
                  runRemoval(h.pm(), services,
                             kind == Kind::trash ? RemovalMethod::trash : RemovalMethod::deletePermanently));
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return result.succeeded == count ? ms : -1;
}

void BM_DurableRuns(benchmark::State& state) {
    const Kind kind = Kind(state.range(0));
    const int count = bench::smokeMode() ? 200 : 10000;
    double ms = 0;
    for (auto _ : state)
        ms = timeRun(kind, count);
    if (ms < 0)
        state.SkipWithError("the run left files in place");
    state.counters["run_ms"] = ms;
    state.counters["load"] = bench::loadAverage();
    state.SetLabel(kind == Kind::trash ? "trash" : kind == Kind::deletion ? "deletion" : "move");
}

} // namespace

BENCHMARK(BM_DurableRuns)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    AppLog::setSink([](const AppLog::Record&) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
