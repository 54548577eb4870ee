// The main window over a large analysis: the time from the import's end to the window's first
// full paint, and the longest GUI-thread stall while the filters change. Each figure is the
// median of interleaved pairs with a reference taken in the same run on the same window.
#include "actions/RecycleBin.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/Preferences.h"
#include "stores/ProtectedFolders.h"
#include "stores/SecurityScopedAccess.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "support/BenchSupport.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/FakeFileStatusChecker.h"
#include "support/WindowActions.h"
#include "ui/bin/BinViews.h"
#include "ui/browser/BrowserViews.h"
#include "ui/browser/MediaFileListView.h"
#include "ui/browser/MediaTableModel.h"
#include "ui/cleanup/WindowFacts.h"
#include "ui/common/Command.h"
#include "ui/common/FilePanel.h"
#include "ui/tools/ToolViews.h"
#include "ui/window/ContentView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
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

// Runs the event loop until `done` or `ms` passed; the probe's ticks wake it (QTest::qWaitFor
// would keep processing them without looking at `done`).
bool spinUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done())
            return true;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

struct Window {
    QTemporaryDir dir;
    Preferences prefs{dir.filePath(QStringLiteral("prefs.ini"))};
    SequenceUsagePolicyStore policy{prefs};
    ProtectedFolders folders{dir.filePath(QStringLiteral("store"))};
    SecurityScopedAccess grants{dir.filePath(QStringLiteral("grants")),
                                std::make_shared<FakeAccessGrantBackend>(), false};
    std::shared_ptr<testing::FakeFileStatusChecker> checker =
        std::make_shared<testing::FakeFileStatusChecker>();
    testing::WindowActions actions{CommandCenter::shared(), FilePanel::system(), grants};
    std::unique_ptr<ContentView> view;

    Window() {
        prefs.setValue(QStringLiteral("hasCompletedWelcome"), true);
        ProjectManagerServices services = ProjectManagerServices::shared();
        services.sequencePolicy = &policy;
        services.protectedFolders = &folders;
        services.fileStatusChecker = checker;
        services.statusOptions = [](bool) { return FileStatusChecking::Options{}; };
        services.isSandboxed = [] { return false; };
        ContentView::Services ui;
        ui.actions = actions.actions();
        ui.grants = &grants;
        ui.preferences = &prefs;
        ui.openURL = [](const QUrl&) { return true; };
        // The views the application installs but the cards (their previews would run ffmpeg on
        // media that are not on disk), with no thumbnails in the table.
        installBinViews(ui.factories);
        installBrowserViews(ui.factories, BrowserServices{});
        registerToolViews(ui.factories);
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
        (void)spinUntil([this] { return view->facts().isCurrent(); }, 60000);
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
            w.pm()
                .edit(ProjectManager::ListChange::entries)
                .setProjects(analysis.projects)
                .setMediaFiles(analysis.media);
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
    w.pm()
        .edit(ProjectManager::ListChange::entries)
        .setProjects(analysis.projects)
        .setMediaFiles(analysis.media);
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

// The longest time the event loop takes to answer while an action runs: a 1 ms timer on the GUI
// thread, and the largest gap between two of its ticks (the action's own call included).
class LoopProbe {
public:
    LoopProbe() {
        m_timer.setInterval(1);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start();
    }
    void reset() {
        m_longest = 0;
        m_sinceTick.start();
    }
    double longestMs() const { return std::max(m_longest, m_sinceTick.nsecsElapsed() / 1e6); }

private:
    void tick() {
        m_longest = std::max(m_longest, m_sinceTick.nsecsElapsed() / 1e6);
        m_sinceTick.start();
    }
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    double m_longest = 0;
};

struct WindowAction {
    const char* name;
    std::function<void(Window&)> act;
    std::function<bool(Window&)> done;
};

QList<WindowAction> windowActions() {
    const auto list = [](Window& w) { return w.view->findChild<MediaFileListView*>(); };
    const auto idle = [](Window& w) { return !w.pm().isBusy() && w.view->facts().isCurrent(); };
    const auto sortBy = [list](int column, Qt::SortOrder order) {
        return [list, column, order](Window& w) {
            if (MediaFileListView* view = list(w))
                view->table()->sortByColumn(column, order);
        };
    };
    const auto sorted = [list](int column) {
        return [list, column](Window& w) {
            MediaFileListView* view = list(w);
            return view && !view->model()->isWaitingForSortKeys() && !view->model()->sortOrder().isEmpty() &&
                   view->model()->sortOrder().constFirst().key ==
                       MediaTableModel::keyOf(MediaTableModel::Column(column));
        };
    };
    const auto showing = [](DetailViewMode mode) {
        return [mode](Window& w) { w.view->setDetailViewMode(mode); };
    };
    const auto search = [](QString text) {
        return [text](Window& w) {
            w.pm().updateFilters([&](FilterSettings& filters) { filters.filterText = text; });
        };
    };
    QList<WindowAction> actions{{"switch to Table", showing(DetailViewMode::table), idle}};
    static const char* const columnNames[] = {"sort by status",  "sort by name",    "sort by size",
                                              "sort by usage",   "sort by storage", "sort by sequence",
                                              "sort by projects"};
    for (int column = 0; column < MediaTableModel::columnCount_; ++column)
        actions.append({columnNames[column], sortBy(column, Qt::AscendingOrder), sorted(column)});
    actions.append({"sort by size, descending", sortBy(MediaTableModel::size, Qt::DescendingOrder),
                    sorted(MediaTableModel::size)});
    actions.append({"switch to Map", showing(DetailViewMode::map), idle});
    actions.append({"switch to Cards", showing(DetailViewMode::cards), idle});
    actions.append({"switch to Table again", showing(DetailViewMode::table), idle});
    actions.append({"type \"c\" in the filter", search(QStringLiteral("c")), idle});
    actions.append({"type \"c0\" in the filter", search(QStringLiteral("c0")), idle});
    actions.append({"clear the filter", search(QString()), idle});
    actions.append({"Add All Unused", [](Window& w) { w.view->handleCommand(Command::addAllUnused); },
                    [idle](Window& w) { return idle(w) && !w.pm().recycleBin().isEmpty(); }});
    actions.append({"Restore All", [](Window& w) { (void)RecycleBin(w.pm()).restoreAllFromRecycleBin(); },
                    [idle](Window& w) { return idle(w) && w.pm().recycleBin().isEmpty(); }});
    actions.append({"rescan", [](Window& w) { w.view->handleCommand(Command::refreshFileStatus); }, idle});
    actions.append({"Clear All", [](Window& w) { w.view->handleCommand(Command::clearAllProjects); },
                    [idle](Window& w) { return idle(w) && w.pm().mediaFiles().isEmpty(); }});
    return actions;
}

// Each action as a user takes it in the window over the whole list, one after the other: the
// longest event-loop answer from the action's start until its result is on screen (and 100 ms
// more). Reference: the longest answer of the idle window over the same time.
void BM_ActionStalls(benchmark::State& state) {
    const Analysis analysis = makeAnalysis(int(state.range(0)), int(state.range(1)));
    Window w;
    for (const MediaFile& file : analysis.media)
        w.checker->setOnline(file.path, file.size);
    LoopProbe probe;
    const QList<WindowAction> actions = windowActions();
    QList<QList<double>> stalls(actions.size());
    QList<double> idles, loads;
    // TARNWICK_BENCH_ROUNDS=1 runs one round per process, for pairs interleaved with another build.
    const int asked = qEnvironmentVariableIntValue("TARNWICK_BENCH_ROUNDS");
    const int rounds = bench::smokeMode() ? 1 : (asked > 0 ? asked : 5);
    for (auto _ : state) {
        for (int round = 0; round < rounds; ++round) {
            w.pm()
                .edit(ProjectManager::ListChange::entries)
                .setProjects(analysis.projects)
                .setMediaFiles(analysis.media);
            w.settle();
            loads.append(bench::loadAverage());
            for (qsizetype i = 0; i < actions.size(); ++i) {
                probe.reset();
                actions[i].act(w);
                const bool done = spinUntil([&] { return actions[i].done(w); }, 120000);
                spinUntil([] { return false; }, 100);
                stalls[i].append(probe.longestMs());
                if (!done || qEnvironmentVariableIsSet("TARNWICK_BENCH_VERBOSE"))
                    std::fprintf(stderr, "%s: %.1f ms%s\n", actions[i].name, stalls[i].constLast(),
                                 done ? "" : " (did not end)");
                probe.reset();
                spinUntil([] { return false; }, 200);
                idles.append(probe.longestMs());
            }
        }
    }
    double worst = 0;
    for (qsizetype i = 0; i < actions.size(); ++i) {
        const double ms = bench::median(stalls[i]);
        worst = std::max(worst, ms);
        state.counters[actions[i].name] = ms;
    }
    state.SetIterationTime(worst / 1000.0);
    state.counters["idle_ms"] = bench::median(idles);
    state.counters["load"] = bench::median(loads);
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
BENCHMARK(BM_ActionStalls)->Apply(sizes)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

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
