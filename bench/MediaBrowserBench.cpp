#include "analysis/ProjectManager.h"
#include "model/MediaFile.h"
#include "platform/AppLog.h"
#include "support/BenchSupport.h"
#include "support/ProjectManagerHarness.h"
#include "ui/browser/MediaFileListView.h"
#include "ui/browser/MediaTableModel.h"
#include "ui/browser/SquarifiedTreemap.h"
#include "ui/browser/StorageMapModel.h"

#include <QApplication>
#include <QCollator>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QTableView>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

using namespace tarnwick;

namespace {

constexpr int projectCount = 200;

int entryCount() {
    return bench::smokeMode() ? 2'000 : 100'000;
}

int rounds() {
    return bench::smokeMode() ? 1 : 7;
}

// 100,000 entries over 200 projects: names with digit runs, folders per project and day, mixed
// sizes, statuses and usage.
struct World {
    // Every `tallEvery`-th entry relocated, which gives its row a third line (0: none).
    explicit World(int n, int tallEvery = 0) {
        QList<ProjectFile> projects;
        for (int p = 0; p < projectCount; ++p) {
            ProjectFile project;
            project.name = QStringLiteral("Show %1").arg(p);
            projects.append(project);
        }
        QList<MediaFile> files;
        files.reserve(n);
        for (int i = 0; i < n; ++i) {
            MediaFile f = testing::media(QStringLiteral("/media/editor/Drive/Show%1/Day%2/A%3_C%4.mov")
                                             .arg(i % projectCount)
                                             .arg((i / projectCount) % 30)
                                             .arg(i % 9973)
                                             .arg(i % 97),
                                         i % 3 == 0 ? 0 : 1 + i % 4,
                                         i % 17 == 0 ? MediaFileStatus::offline : MediaFileStatus::online,
                                         1000 + qint64(i % 5000) * 65'537);
            f.projectNames = {projects[i % projectCount].name};
            if (tallEvery > 0 && i % tallEvery == 0)
                f.matchedPath = f.path + QStringLiteral(".found");
            f.sequenceNames = {QStringLiteral("Edit %1").arg(i % 7), QStringLiteral("Selects")};
            files.append(f);
        }
        harness.pm().edit(ProjectManager::ListChange::none).setProjects(projects);
        harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(files);
        testing::drainEvents();
    }
    ProjectManager& pm() { return harness.pm(); }
    testing::ProjectManagerHarness harness;
};

World& world() {
    static World instance(entryCount());
    return instance;
}

// One large world at a time: each holds its whole list.
World& tableWorld(int n, int tallEvery) {
    static std::unique_ptr<World> instance;
    static std::pair<int, int> made{-1, -1};
    if (made != std::pair{n, tallEvery}) {
        instance.reset();
        instance = std::make_unique<World>(n, tallEvery);
        made = {n, tallEvery};
    }
    return *instance;
}

double elapsedMs(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// Runs reference and subject alternately and reports both medians and their ratio.
void interleaved(benchmark::State& state, const std::function<void()>& reference,
                 const std::function<void()>& subject) {
    for (auto _ : state) {
        std::vector<double> ref, sub;
        for (int r = 0; r < rounds(); ++r) {
            ref.push_back(elapsedMs(reference));
            sub.push_back(elapsedMs(subject));
        }
        state.counters["reference_ms"] = bench::median(ref);
        state.counters["subject_ms"] = bench::median(sub);
        state.counters["ratio"] = bench::median(sub) / bench::median(ref);
    }
    double load[1] = {0};
    if (getloadavg(load, 1) == 1)
        state.counters["loadavg"] = load[0];
}

// One keystroke of the filter: the manager's filter pass against lower-casing every name and
// folder per keystroke. Typing on (range 0) narrows the last result; unrelated texts (range 1)
// each take a pass over the whole list.
void BM_FilterKeystroke(benchmark::State& state) {
    ProjectManager& pm = world().pm();
    const QStringList keystrokes =
        state.range(0) == 0 ? QStringList{"a", "a1", "a12", "a12_", "a12_c", "a12_c4", "day", "show1"}
                            : QStringList{"day", "show1", "a12", "c4", "mov", "drive", "a1", "x"};
    int k = 0;
    interleaved(
        state,
        [&] {
            const QString text = keystrokes[k % keystrokes.size()];
            qsizetype kept = 0;
            for (const MediaFile& f : pm.mediaFiles()) {
                const QString lower = f.path.toLower();
                kept += lower.contains(text);
            }
            benchmark::DoNotOptimize(kept);
        },
        [&] {
            pm.updateFilters(
                [&](FilterSettings& filters) { filters.filterText = keystrokes[k++ % keystrokes.size()]; });
            benchmark::DoNotOptimize(pm.filteredMediaRows().size());
        });
    pm.updateFilters([](FilterSettings& filters) { filters.filterText = {}; });
}

// Sorting by one column: keys once per sort (the manager) against a comparison that builds the
// keys and collates per comparison. Each sort follows a change of the media list, so nothing
// sorted before is reused.
void BM_SortColumn(benchmark::State& state) {
    ProjectManager& pm = world().pm();
    const auto key = MediaSortKey(state.range(0));
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    bool ascending = true;
    interleaved(
        state,
        [&] {
            QList<MediaFile> copy = pm.filteredMediaFiles();
            if (key == MediaSortKey::size || key == MediaSortKey::usageCount) {
                std::stable_sort(copy.begin(), copy.end(), [&](const MediaFile& a, const MediaFile& b) {
                    return key == MediaSortKey::size ? a.size < b.size : a.usageCount < b.usageCount;
                });
            } else {
                std::stable_sort(copy.begin(), copy.end(), [&](const MediaFile& a, const MediaFile& b) {
                    return collator.compare(sortText(a, key), sortText(b, key)) < 0;
                });
            }
            benchmark::DoNotOptimize(copy.size());
        },
        [&] {
            ascending = !ascending;
            pm.edit(ProjectManager::ListChange::none)
                .setMediaFiles(pm.mediaFiles()); // a new version: no cache hit
            benchmark::DoNotOptimize(pm.sortedFilteredMediaRows({{key, ascending}}).size());
        });
}

// The table model reset plus painting the rows of one screen, against painting the same screen
// without a reset.
void BM_ModelResetAndFirstPaint(benchmark::State& state) {
    ProjectManager& pm = world().pm();
    MediaFileListView view(pm, {}, nullptr);
    view.resize(1280, 720);
    QImage canvas(1280, 720, QImage::Format_ARGB32_Premultiplied);
    interleaved(
        state,
        [&] {
            QPainter painter(&canvas);
            view.render(&painter);
        },
        [&] {
            view.model()->refresh();
            QPainter painter(&canvas);
            view.render(&painter);
        });
}

// The table's reset as a return to the table makes it (the rows let go while out of sight, then
// read again), with its header and row heights, against reading the manager's sorted rows alone.
// Range 1: every how many entries one has a third line in its name cell (0: none).
void BM_TableReset(benchmark::State& state) {
    const int n = bench::smokeMode() ? 2'000 : int(state.range(0));
    ProjectManager& pm = tableWorld(n, int(state.range(1))).pm();
    MediaFileListView view(pm, {}, nullptr);
    view.resize(1280, 720);
    view.show();
    MediaTableModel& model = *view.model();
    // The order's text keys are made on a worker; the table waits for them before it has rows.
    QElapsedTimer waited;
    waited.start();
    while ((!pm.canSortNow(model.sortOrder()) || model.rowCount() == 0) && waited.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::vector<double> rows;
    interleaved(
        state, [&] { benchmark::DoNotOptimize(pm.sortedFilteredMediaRows(model.sortOrder()).size()); },
        [&] {
            model.setInSight(false);
            model.refresh(); // a change while out of sight: the rows go
            model.setInSight(true);
            rows.push_back(model.rowCount());
        });
    state.counters["rows"] = rows.empty() ? 0 : *std::min_element(rows.begin(), rows.end());
}

// Select every row, then "Add to Virtual Bin" (staging itself faked): linear in the rows.
void BM_SelectAllThenAdd(benchmark::State& state) {
    ProjectManager& pm = world().pm();
    qsizetype staged = 0;
    MediaBrowserActions actions;
    actions.addToRecycleBin = [&](const QList<MediaFile>& files, std::function<void()> done) {
        staged = files.size();
        if (done)
            done();
    };
    MediaFileListView view(pm, actions, nullptr);
    QSet<QUuid> all;
    for (const MediaFile& f : pm.mediaFiles())
        all.insert(f.id);
    interleaved(
        state,
        [&] {
            QList<MediaFile> copy = pm.mediaFiles();
            copy.detach(); // one deep copy of the list: the linear yardstick
            benchmark::DoNotOptimize(copy.size());
        },
        [&] {
            view.setSelectedFiles(all);
            view.addHeaderSelectionToBin();
        });
    state.counters["staged"] = double(staged);
}

// The kept records copied into one list, as the clip cards still take them: a filter keeping 94 %
// of the entries (online only) read after each change of the list, against one deep copy of the
// whole list.
void BM_KeptRecordsCopy(benchmark::State& state) {
    ProjectManager& pm = world().pm();
    pm.updateFilters([](FilterSettings& filters) { filters.showOnlyOnline = true; });
    interleaved(
        state,
        [&] {
            QList<MediaFile> copy = pm.mediaFiles();
            copy.detach();
            benchmark::DoNotOptimize(copy.size());
        },
        [&] {
            pm.edit(ProjectManager::ListChange::none).setMediaFiles(pm.mediaFiles());
            benchmark::DoNotOptimize(pm.filteredMediaFiles().size());
        });
    pm.updateFilters([](FilterSettings& filters) { filters.showOnlyOnline = false; });
}

void BM_StorageMapFootprints(benchmark::State& state) {
    ProjectManager& pm = world().pm();
    interleaved(
        state,
        [&] {
            qint64 sum = 0;
            for (const MediaFile& f : pm.filteredMediaRows())
                sum += f.size;
            benchmark::DoNotOptimize(sum);
        },
        [&] {
            benchmark::DoNotOptimize(StorageMap::footprints(pm.filteredMediaRows(), pm.projects()).size());
        });
}

void BM_TreemapLayout(benchmark::State& state) {
    QList<MapTreemapItem> items;
    const int n = bench::smokeMode() ? 100 : int(state.range(0));
    for (int i = 0; i < n; ++i)
        items.append({QString(), 1000 + qint64(i % 613) * 4099, i, 0, {}});
    for (auto _ : state)
        benchmark::DoNotOptimize(
            squarifiedLayout(groupSmallItems(items, 0.015), QRectF(0, 0, 1200, 700)).size());
    state.SetItemsProcessed(state.iterations() * n);
}

} // namespace

BENCHMARK(BM_FilterKeystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SortColumn)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ModelResetAndFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TableReset)
    ->Args({400'000, 0})
    ->Args({400'000, 100})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_SelectAllThenAdd)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_KeptRecordsCopy)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StorageMapFootprints)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TreemapLayout)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

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
