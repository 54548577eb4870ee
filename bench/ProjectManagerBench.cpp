#include "analysis/FileStatusScan.h"
#include "analysis/MediaFilterIndex.h"
#include "analysis/NameCollation.h"
#include "analysis/ProjectManager.h"
#include "model/ImageSequence.h"
#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "stores/ProtectedFolders.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "stores/StatsManager.h"
#include "support/BenchSupport.h"
#include "support/FakeFileStatusChecker.h"
#include "support/ProcessFacts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>

using namespace tarnwick;

namespace {

constexpr int projectCount = 20;

QString mediaPath(int i) {
    return QStringLiteral("/Volumes/Media/Show%1/Day%2/A%3_C%4.mov")
        .arg(i % projectCount)
        .arg((i / projectCount) % 30)
        .arg(i, 6, 10, QLatin1Char('0'))
        .arg(i % 97);
}

// A manager holding `n` media entries over 20 projects with five timelines each, ignore and
// protect rules, a project with warnings, a protected folder and a few staged files.
struct World {
    // `withWarnings`: the first project parsed with a warning (its files need review).
    explicit World(int n, bool withWarnings = true)
        : prefs(dir.filePath(QStringLiteral("prefs.ini"))), policy(prefs),
          folders(dir.filePath(QStringLiteral("store"))),
          audit(dir.filePath(QStringLiteral("store")), nullptr), stats(dir.filePath(QStringLiteral("store"))),
          checker(std::make_shared<testing::FakeFileStatusChecker>()) {
        policy.addRule(QStringLiteral("stringout"), SequenceRuleAction::ignore);
        policy.addRule(QStringLiteral("dailies"), SequenceRuleAction::ignore);
        folders.add(QStringLiteral("/Volumes/Media/Show3"));
        ProjectManagerServices services;
        services.sequencePolicy = &policy;
        services.protectedFolders = &folders;
        services.auditLog = &audit;
        services.statsManager = &stats;
        services.fileStatusChecker = checker;
        services.statusOptions = [](bool) { return FileStatusChecking::Options{}; };
        services.isSandboxed = [] { return false; };
        pm = std::make_unique<ProjectManager>(std::move(services));
        pm->edit(ProjectManager::ListChange::none).setProjects(makeProjects(n, withWarnings));
        pm->edit(ProjectManager::ListChange::none).setMediaFiles(makeMedia(n));
        QList<RecycleBinItem> bin;
        for (int i = 0; i < n; i += 200) {
            RecycleBinItem item;
            item.mediaFile = pm->mediaFiles()[i];
            bin.append(item);
        }
        pm->edit(ProjectManager::ListChange::none).setRecycleBin(bin);
        for (int i = 0; i < n; ++i)
            checker->setOnline(mediaPath(i), 1000 + i);
        pm->edit(ProjectManager::ListChange::usage);
        // Keys with resolved locations, as an import leaves them (made on its worker).
        LowerPathCache keys;
        CanonicalLocations::resolveInto(keys, pm->mediaFiles(), *FileOperations::system());
        pm->adoptLowerPathKeys(keys);
        QCoreApplication::processEvents();
    }

    static QList<ProjectFile> makeProjects(int n, bool withWarnings) {
        QList<ProjectFile> projects;
        for (int p = 0; p < projectCount; ++p) {
            ProjectFile project;
            project.name = QStringLiteral("Show %1").arg(p);
            project.url = QUrl::fromLocalFile(QStringLiteral("/projects/show%1.prproj").arg(p));
            project.sequences = {{"s1", "Edit"},
                                 {"s2", "Stringout v2"},
                                 {"s3", "FINAL"},
                                 {"s4", "Selects"},
                                 {"s5", "Dailies"}};
            if (p == 0 && withWarnings)
                project.parseWarnings = {
                    QStringLiteral("Flagged for review; excluded from one-click cleanup.")};
            projects.append(project);
        }
        for (int i = 0; i < n; ++i) {
            const int owner = i % projectCount;
            for (int p : {owner, i % 10 == 0 ? (owner + 1) % projectCount : -1}) {
                if (p < 0)
                    continue;
                ProjectFile& project = projects[p];
                const QString path = mediaPath(i);
                project.mediaFiles.append(path);
                if (i % 10 >= 7)
                    continue; // listed, not used
                const int raw = 1 + i % 3;
                project.usedFiles.append(path);
                project.usageCountByPath.insert(path, raw);
                SequenceUsageAttribution a;
                a.occurrencesBySequenceID.insert(QStringLiteral("s%1").arg(1 + i % 5), raw);
                if (i % 20 == 0)
                    a.unattributedOccurrences = 1;
                project.sequenceUsageByPath.insert(path, a);
                if (i % 11 == 0)
                    project.audioOnlyFiles.append(path);
            }
        }
        return projects;
    }

    static QList<MediaFile> makeMedia(int n) {
        QList<MediaFile> files;
        files.reserve(n);
        for (int i = 0; i < n; ++i) {
            MediaFile f;
            f.path = mediaPath(i);
            f.lastKnownPath = f.path;
            f.size = 1000 + qint64(i) * 4096;
            f.status = i % 20 == 0 ? MediaFileStatus::offline : MediaFileStatus::online;
            if (i % 20 == 1) {
                f.status = MediaFileStatus::matching;
                f.matchedPath = QStringLiteral("/Volumes/Backup/A%1.mov").arg(i);
            }
            if (i % 50 == 2)
                f.alternativePaths = {QStringLiteral("/Volumes/Other/Clip%1.mov").arg(i)};
            if (i % 100 == 3)
                f.duplicateOfPath = mediaPath(i - 1);
            files.append(f);
        }
        return files;
    }

    QTemporaryDir dir;
    Preferences prefs;
    SequenceUsagePolicyStore policy;
    ProtectedFolders folders;
    AuditLogManager audit;
    StatsManager stats;
    std::shared_ptr<testing::FakeFileStatusChecker> checker;
    std::unique_ptr<ProjectManager> pm;
};

World& world(int n) {
    static std::map<int, std::unique_ptr<World>> worlds;
    auto& w = worlds[n];
    if (!w)
        w = std::make_unique<World>(n);
    return *w;
}

void resetFilters(ProjectManager& pm) {
    pm.updateFilters([](FilterSettings& filters) {
        filters.filterText = {};
        filters.showOnlyUnused = false;
        filters.showOnlyOnline = false;
    });
}

// The cost of touching every record once: a deep copy of the media list.
void BM_CopyMediaList(benchmark::State& state) {
    const QList<MediaFile>& list = world(int(state.range(0))).pm->mediaFiles();
    for (auto _ : state) {
        QList<MediaFile> copy;
        copy.reserve(list.size());
        for (const MediaFile& f : list)
            copy.append(f);
        benchmark::DoNotOptimize(copy.data());
    }
}

void BM_UpdateSummary(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    for (auto _ : state)
        pm.edit(ProjectManager::ListChange::entries);
    QCoreApplication::processEvents();
}

void BM_RecomputeUsageCounts(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    for (auto _ : state)
        pm.edit(ProjectManager::ListChange::usage);
    QCoreApplication::processEvents();
}

void BM_AggregateEffectiveUsage(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    for (auto _ : state)
        benchmark::DoNotOptimize(pm.aggregateEffectiveUsage().size());
}

// One edit of `change` on the reference manager and on the subject, in interleaved pairs: their
// medians and the median of the pair ratios.
void interleavedEdits(benchmark::State& state, ProjectManager& reference, ProjectManager& subject,
                      ProjectManager::ListChange change) {
    const auto ms = [change](ProjectManager& pm) {
        QElapsedTimer clock;
        clock.start();
        pm.edit(change);
        return double(clock.nsecsElapsed()) / 1e6;
    };
    for (auto _ : state) {
        std::vector<double> references, subjects, ratios;
        for (int pair = 0; pair < (bench::smokeMode() ? 1 : 7); ++pair) {
            references.push_back(ms(reference));
            subjects.push_back(ms(subject));
            ratios.push_back(subjects.back() / references.back());
        }
        state.counters["reference_ms"] = bench::median(references);
        state.counters["subject_ms"] = bench::median(subjects);
        state.counters["ratio"] = bench::median(ratios);
    }
    state.counters["load"] = bench::loadAverage();
    QCoreApplication::processEvents();
}

// The recount when a timeline uses a numbered-stills sequence, so that every listed path is asked
// whether it is one of the sequence's frames, against the same recount without the sequence: the
// manager's own recount (a timeline rule changed), pairs interleaved.
void BM_RecountWithNumberedStills(benchmark::State& state) {
    const int n = int(state.range(0));
    ProjectManager& plain = *world(n).pm;
    static std::map<int, std::unique_ptr<World>> stillsWorlds;
    auto& made = stillsWorlds[n];
    if (!made) {
        made = std::make_unique<World>(n);
        QList<ProjectFile> projects = made->pm->projects();
        const QString first = QStringLiteral("/Volumes/Media/Show1/Stills/DSC_0001.JPG");
        ProjectFile& cut = projects[1];
        cut.mediaFiles.append(first);
        cut.usedFiles.append(first);
        cut.usageCountByPath.insert(first, 1);
        cut.numberedStills = {*ImageSequence::fromFirstFrame(first, u"DSC_[0001-0240]")};
        projects[2].mediaFiles.append(QStringLiteral("/Volumes/Media/Show1/Stills/DSC_0120.JPG"));
        made->pm->edit(ProjectManager::ListChange::usage).setProjects(projects);
        QCoreApplication::processEvents();
    }
    ProjectManager& stills = *made->pm;
    interleavedEdits(state, plain, stills, ProjectManager::ListChange::usage);
}

// The summary (review flags, counters, the filter's facts) while a timeline uses a Character Animator
// scene, whose folder every entry is looked for in, against the same summary without it: the
// manager's own summary after an edit of the entries, pairs interleaved.
void BM_SummaryWithCharacterAnimatorScene(benchmark::State& state) {
    const int n = int(state.range(0));
    // Every project parsed cleanly: without the scene no entry's keys are asked for.
    static std::map<int, std::pair<std::unique_ptr<World>, std::unique_ptr<World>>> worlds;
    auto& [clean, made] = worlds[n];
    if (!made) {
        clean = std::make_unique<World>(n, false);
        made = std::make_unique<World>(n, false);
        const QString scene = QStringLiteral("/Volumes/Media/Show1/Puppet/Puppet.chproj");
        QList<ProjectFile> projects = made->pm->projects();
        projects[1].mediaFiles.append(scene);
        projects[1].usedFiles.append(scene);
        projects[1].usageCountByPath.insert(scene, 1);
        QList<MediaFile> media = made->pm->mediaFiles();
        MediaFile sceneEntry;
        sceneEntry.path = scene;
        media.append(sceneEntry);
        made->pm->edit(ProjectManager::ListChange::usage).setProjects(projects).setMediaFiles(media);
        QCoreApplication::processEvents();
    }
    ProjectManager& plain = *clean->pm;
    ProjectManager& scene = *made->pm;
    interleavedEdits(state, plain, scene, ProjectManager::ListChange::entries);
}

void BM_RefreshProtectedFlags(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    for (auto _ : state)
        pm.refreshProtectedFlags();
}

// A miss: the media list changed (version bump), flags set, no search text.
void BM_FilterMiss(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    resetFilters(pm);
    pm.updateFilters([](FilterSettings& filters) { filters.showOnlyUnused = true; });
    for (auto _ : state) {
        pm.edit(ProjectManager::ListChange::none).setMediaFiles(pm.mediaFiles());
        benchmark::DoNotOptimize(pm.filteredMediaFiles().size());
    }
    resetFilters(pm);
    QCoreApplication::processEvents();
}

void BM_FilterMissWithSearchText(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    resetFilters(pm);
    pm.updateFilters([](FilterSettings& filters) { filters.filterText = QStringLiteral("day1/a0"); });
    for (auto _ : state) {
        pm.edit(ProjectManager::ListChange::none).setMediaFiles(pm.mediaFiles());
        benchmark::DoNotOptimize(pm.filteredMediaFiles().size());
    }
    resetFilters(pm);
    QCoreApplication::processEvents();
}

void BM_FilterHit(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    resetFilters(pm);
    pm.updateFilters([](FilterSettings& filters) { filters.showOnlyOnline = true; });
    pm.filteredMediaFiles();
    for (auto _ : state)
        benchmark::DoNotOptimize(pm.filteredMediaFiles().size());
    resetFilters(pm);
    QCoreApplication::processEvents();
}

// The media list in a shuffled order: the world's list is made in name and size order, which a
// sort would find already done.
const QList<MediaFile>& shuffledMedia(int n) {
    static std::map<int, QList<MediaFile>> made;
    QList<MediaFile>& list = made[n];
    if (list.isEmpty()) {
        list = world(n).pm->mediaFiles();
        std::shuffle(list.begin(), list.end(), std::mt19937(5));
    }
    return list;
}

// A whole sort each time (no cache): what the table pays for a new order of a changed list.
void sortBench(benchmark::State& state, MediaSortKey key) {
    const QList<MediaFile>& files = shuffledMedia(int(state.range(0)));
    const MediaSortOrder order{{key, true}};
    QList<qsizetype> rows;
    for (auto _ : state) {
        rows = MediaFilterIndex::sortedRows(files, order);
        benchmark::DoNotOptimize(rows.data());
    }
    // The rows must come out sorted, and not merely in the order they went in.
    const QCollator collator = nameCollator(true);
    const auto before = [&](const MediaFile& a, const MediaFile& b) {
        return key == MediaSortKey::size ? a.size < b.size : collator.compare(a.fileName(), b.fileName()) < 0;
    };
    for (qsizetype i = 1; i < rows.size(); ++i) {
        if (before(files[rows[i]], files[rows[i - 1]])) {
            state.SkipWithError("the rows are not in order");
            return;
        }
    }
    qsizetype moved = 0;
    for (qsizetype i = 0; i < rows.size(); ++i)
        moved += rows[i] != i ? 1 : 0;
    if (moved < rows.size() / 2)
        state.SkipWithError("the input was already nearly in order: nothing was sorted");
}

void BM_SortByName(benchmark::State& state) {
    sortBench(state, MediaSortKey::fileName);
}
void BM_SortBySize(benchmark::State& state) {
    sortBench(state, MediaSortKey::size);
}

// The manager's first read by name after a change of statuses (as staging makes): the names are
// as they were, so the order of the previous version is taken over instead of sorting again.
void BM_SortedReadAfterStatusChange(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    resetFilters(pm);
    const QList<MediaFile> original = pm.mediaFiles();
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(shuffledMedia(int(state.range(0))));
    (void)pm.sortedFilteredMediaRows({{MediaSortKey::fileName, true}});
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        pm.edit(ProjectManager::ListChange::none).modifyMediaFiles([&](QList<MediaFile>& list) {
            for (qsizetype i = round % 100; i < list.size(); i += 100)
                list[i].status = round % 2 ? MediaFileStatus::inRecycleBin : MediaFileStatus::online;
        });
        state.ResumeTiming();
        benchmark::DoNotOptimize(pm.sortedFilteredMediaRows({{MediaSortKey::fileName, true}}).size());
    }
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(original);
    QCoreApplication::processEvents();
}

// The same after a list of other names in another order: a whole sort, as after an import.
void BM_SortedReadAfterNewList(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    resetFilters(pm);
    const QList<MediaFile> original = pm.mediaFiles();
    const QList<MediaFile>& shuffled = shuffledMedia(int(state.range(0)));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        pm.edit(ProjectManager::ListChange::none).setMediaFiles(++round % 2 ? shuffled : original);
        state.ResumeTiming();
        benchmark::DoNotOptimize(pm.sortedFilteredMediaRows({{MediaSortKey::fileName, true}}).size());
    }
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(original);
    QCoreApplication::processEvents();
}

// Each run first forgets 1% of the entries, so the rebuild checks them again (fake check, no disk).
void BM_RebuildMediaFilesFromProjects(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    for (auto _ : state) {
        state.PauseTiming();
        QList<MediaFile> fewer = pm.mediaFiles();
        fewer.removeIf([](const MediaFile& f) { return qHash(f.path) % 100 == 0; });
        pm.edit(ProjectManager::ListChange::none).setMediaFiles(std::move(fewer));
        state.ResumeTiming();
        benchmark::DoNotOptimize(QCoro::waitFor(pm.rebuildMediaFilesFromProjects()));
    }
    QCoreApplication::processEvents();
}

// "Refresh File Status" over every entry (the fake check, no disk): the longest the GUI thread was
// held meanwhile (a 10 ms timer), against the whole rescan's time.
// The first run also takes used files out of the bin (the world stages some), recording their
// restores in the audit log; the later ones find none.
void BM_RescanGuiStall(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    QList<double> stalls, work;
    for (auto _ : state) {
        const bench::StallMeter meter;
        benchmark::DoNotOptimize(QCoro::waitFor(pm.rescanAll()));
        QCoreApplication::processEvents();
        stalls.append(double(meter.longestMs()));
        work.append(meter.longestWorkMs());
    }
    state.counters["first_gui_stall_ms"] = stalls.value(0);
    state.counters["later_gui_stall_ms"] = bench::median(stalls.mid(1));
    state.counters["first_gui_work_ms"] = work.value(0);
    state.counters["later_gui_work_ms"] = bench::median(work.mid(1));
    state.counters["load"] = bench::loadAverage();
}

void sizes(benchmark::internal::Benchmark* b) {
    if (bench::smokeMode()) {
        b->Arg(1000);
        return;
    }
    b->Arg(10000)->Arg(100000);
}

} // namespace

BENCHMARK(BM_CopyMediaList)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateSummary)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecomputeUsageCounts)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AggregateEffectiveUsage)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecountWithNumberedStills)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SummaryWithCharacterAnimatorScene)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RefreshProtectedFlags)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterMiss)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterMissWithSearchText)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterHit)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SortByName)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortBySize)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortedReadAfterStatusChange)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortedReadAfterNewList)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RescanGuiStall)
    ->Apply(sizes)
    ->Iterations(bench::smokeMode() ? 1 : 4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RebuildMediaFilesFromProjects)->Apply(sizes)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    AppLog::setSink([](const AppLog::Record&) {});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
