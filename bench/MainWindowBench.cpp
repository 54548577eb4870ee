// The main window over a large analysis: the time from the import's end to the window's first
// full paint, and the longest GUI-thread stall while the filters change. Each figure is the
// median of interleaved pairs with a reference taken in the same run on the same window.
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/Preferences.h"
#include "stores/ProtectedFolders.h"
#include "stores/SecurityScopedAccess.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "support/BenchSupport.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/FakeFileStatusChecker.h"
#include "ui/cleanup/WindowFacts.h"
#include "ui/window/ContentView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

using namespace tarnwick;

namespace {

struct Analysis {
    QList<ProjectFile> projects;
    QList<MediaFile> media;
};

Analysis makeAnalysis(int mediaCount, int projectCount) {
    Analysis a;
    a.media.reserve(mediaCount);
    for (int i = 0; i < mediaCount; ++i) {
        MediaFile f;
        f.path = QStringLiteral("/media/editor/Show%1/Day%2/A%3_C%4.mov")
                     .arg(i % projectCount)
                     .arg((i / projectCount) % 30)
                     .arg(i, 6, 10, QLatin1Char('0'))
                     .arg(i % 97);
        f.lastKnownPath = f.path;
        f.size = 1'000'000 + i;
        f.usageCount = i % 3 == 0 ? 0 : 1;
        f.usageType = f.usageCount ? (i % 10 == 1 ? MediaUsageType::audioOnly : MediaUsageType::videoAndAudio)
                                   : MediaUsageType::unused;
        f.status = i % 50 == 0 ? MediaFileStatus::offline : MediaFileStatus::online;
        f.projectNames = {QStringLiteral("Project %1").arg(i % projectCount)};
        f.duplicateOfPath = i % 40 == 0 ? std::optional<QString>(QStringLiteral("/dup")) : std::nullopt;
        a.media.append(f);
    }
    for (int p = 0; p < projectCount; ++p) {
        ProjectFile project;
        project.name = QStringLiteral("Project %1").arg(p);
        project.url = QUrl::fromLocalFile(QStringLiteral("/projects/%1.prproj").arg(project.name));
        for (int i = p; i < mediaCount; i += projectCount) {
            project.mediaFiles.append(a.media[i].path);
            if (a.media[i].usageCount) {
                project.usedFiles.append(a.media[i].path);
                project.usageCountByPath.insert(a.media[i].path, 1);
            }
        }
        for (int s = 0; s < 4; ++s)
            project.sequences.append(
                {QStringLiteral("seq-%1-%2").arg(p).arg(s), QStringLiteral("Edit %1").arg(s)});
        a.projects.append(project);
    }
    return a;
}

struct Window {
    QTemporaryDir dir;
    Preferences prefs{dir.filePath(QStringLiteral("prefs.ini"))};
    SequenceUsagePolicyStore policy{prefs};
    ProtectedFolders folders{dir.filePath(QStringLiteral("store"))};
    SecurityScopedAccess grants{dir.filePath(QStringLiteral("grants")),
                                std::make_shared<FakeAccessGrantBackend>(), false};
    std::unique_ptr<ContentView> view;

    Window() {
        prefs.setValue(QStringLiteral("hasCompletedWelcome"), true);
        ProjectManagerServices services = ProjectManagerServices::shared();
        services.sequencePolicy = &policy;
        services.protectedFolders = &folders;
        services.fileStatusChecker = std::make_shared<testing::FakeFileStatusChecker>();
        services.statusOptions = [](bool) { return FileStatusChecking::Options{}; };
        services.isSandboxed = [] { return false; };
        ContentView::Services ui;
        ui.grants = &grants;
        ui.preferences = &prefs;
        ui.openURL = [](const QUrl&) { return true; };
        view = std::make_unique<ContentView>(std::make_unique<ProjectManager>(std::move(services)),
                                             std::move(ui));
        view->resize(1280, 760);
        view->show();
        settle();
    }
    ProjectManager& pm() { return view->manager(); }
    void settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        (void)QTest::qWaitFor([this] { return view->facts().isCurrent(); }, 60000);
        QCoreApplication::processEvents();
    }
    // The turn that handles the coalesced changes, then a synchronous full paint.
    double turnAndPaintMs() {
        QElapsedTimer t;
        t.start();
        QCoreApplication::processEvents();
        view->repaint();
        return t.nsecsElapsed() / 1e6;
    }
};

// From the import's last writes to the first full paint; reference: a repaint of the same
// window with nothing changed.
void BM_ImportEndToFirstPaint(benchmark::State& state) {
    const int mediaCount = int(state.range(0));
    const int projectCount = int(state.range(1));
    const Analysis analysis = makeAnalysis(mediaCount, projectCount);
    Window w;
    QList<double> paints, references, facts, writes;
    for (auto _ : state) {
        for (int pair = 0; pair < 5; ++pair) {
            w.pm().clearAll();
            w.pm().updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = true; });
            w.settle();
            QElapsedTimer t;
            t.start();
            w.pm().setProjects(analysis.projects);
            w.pm().setMediaFiles(analysis.media);
            w.pm().updateSummary();
            w.pm().updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = false; });
            writes.append(t.nsecsElapsed() / 1e6);
            paints.append(t.nsecsElapsed() / 1e6 + w.turnAndPaintMs());
            (void)QTest::qWaitFor([&] { return w.view->facts().isCurrent(); }, 60000);
            facts.append(t.nsecsElapsed() / 1e6);
            references.append(w.turnAndPaintMs());
        }
        state.SetIterationTime(bench::median(paints) / 1000.0);
    }
    state.counters["first_paint_ms"] = bench::median(paints);
    state.counters["idle_repaint_ms"] = bench::median(references);
    state.counters["facts_ready_ms"] = bench::median(facts);
    state.counters["manager_writes_ms"] = bench::median(writes);
}

// Each change of a filter (audio only, duplicates, a search every path matches, a project
// selection) as the window handles it: the turn with the change signals, the filtered rows the
// media views read (the count, the table's default order), a full paint. Apart: the kept records
// copied into one list (`filteredMediaFiles()`, which no view reads on a filter change any more).
void BM_FilterChangeStall(benchmark::State& state) {
    const Analysis analysis = makeAnalysis(int(state.range(0)), int(state.range(1)));
    Window w;
    w.pm().setProjects(analysis.projects);
    w.pm().setMediaFiles(analysis.media);
    w.pm().updateSummary();
    w.settle();
    w.turnAndPaintMs();
    QList<double> stalls, references, filters, turns, copies;
    int step = 0;
    for (auto _ : state) {
        for (int pair = 0; pair < 5; ++pair) {
            double worst = 0, worstFilter = 0, worstTurn = 0, worstCopy = 0;
            for (int change = 0; change < 8; ++change, ++step) {
                QElapsedTimer t;
                t.start();
                switch (step % 4) {
                case 0:
                    w.pm().updateFilters([](FilterSettings& filters) {
                        filters.showOnlyAudioOnly = !filters.showOnlyAudioOnly;
                    });
                    break;
                case 1:
                    w.pm().updateFilters(
                        [](FilterSettings& filters) { filters.showDuplicates = !filters.showDuplicates; });
                    break;
                case 2:
                    // A search every path matches: the views get (nearly) the whole list.
                    w.pm().updateFilters([](FilterSettings& filters) {
                        filters.filterText = filters.filterText.isEmpty() ? QStringLiteral("/") : QString();
                    });
                    break;
                default:
                    w.pm().updateFilters([&](FilterSettings& filters) {
                        filters.selectedProjectIDs =
                            filters.selectedProjectIDs.isEmpty()
                                ? QSet<QUuid>{analysis.projects[step % analysis.projects.size()].id}
                                : QSet<QUuid>{};
                    });
                }
                QCoreApplication::processEvents();
                const double turn = t.nsecsElapsed() / 1e6;
                benchmark::DoNotOptimize(w.pm().filteredMediaRows().size());
                benchmark::DoNotOptimize(
                    w.pm().sortedFilteredMediaRows({{MediaSortKey::size, false}}).size());
                const double filtered = t.nsecsElapsed() / 1e6;
                w.view->repaint();
                worst = std::max(worst, t.nsecsElapsed() / 1e6);
                QElapsedTimer copy;
                copy.start();
                benchmark::DoNotOptimize(w.pm().filteredMediaFiles().size());
                worstCopy = std::max(worstCopy, copy.nsecsElapsed() / 1e6);
                worstTurn = std::max(worstTurn, turn);
                worstFilter = std::max(worstFilter, filtered - turn);
            }
            stalls.append(worst);
            turns.append(worstTurn);
            filters.append(worstFilter);
            copies.append(worstCopy);
            references.append(w.turnAndPaintMs());
        }
        state.SetIterationTime(bench::median(stalls) / 1000.0);
    }
    state.counters["longest_stall_ms"] = bench::median(stalls);
    state.counters["window_turn_ms"] = bench::median(turns);
    state.counters["manager_filter_ms"] = bench::median(filters);
    state.counters["records_copy_ms"] = bench::median(copies);
    state.counters["idle_repaint_ms"] = bench::median(references);
}

void sizes(benchmark::internal::Benchmark* b) {
    if (bench::smokeMode()) {
        b->Args({1000, 10});
        return;
    }
    b->Args({10000, 20})->Args({100000, 200});
}

} // namespace

BENCHMARK(BM_ImportEndToFirstPaint)
    ->Apply(sizes)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterChangeStall)->Apply(sizes)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    AppLog::setSink([](const AppLog::Record&) {});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
