#include "analysis/FileStatusScan.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "stores/ProtectedFolders.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "stores/StatsManager.h"
#include "support/BenchSupport.h"
#include "support/FakeFileStatusChecker.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>

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
    explicit World(int n)
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
        pm->setProjects(makeProjects(n));
        pm->setMediaFiles(makeMedia(n));
        QList<RecycleBinItem> bin;
        for (int i = 0; i < n; i += 200) {
            RecycleBinItem item;
            item.mediaFile = pm->mediaFiles()[i];
            bin.append(item);
        }
        pm->setRecycleBin(bin);
        for (int i = 0; i < n; ++i)
            checker->setOnline(mediaPath(i), 1000 + i);
        pm->recomputeUsageCounts();
        // Keys with resolved locations, as an import leaves them (made on its worker).
        LowerPathCache keys;
        CanonicalLocations::resolveInto(keys, pm->mediaFiles(), *FileOperations::system());
        pm->adoptLowerPathKeys(keys);
        QCoreApplication::processEvents();
    }

    static QList<ProjectFile> makeProjects(int n) {
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
            if (p == 0)
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
        pm.updateSummary();
    QCoreApplication::processEvents();
}

void BM_RecomputeUsageCounts(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    for (auto _ : state)
        pm.recomputeUsageCounts();
    QCoreApplication::processEvents();
}

void BM_AggregateEffectiveUsage(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    for (auto _ : state)
        benchmark::DoNotOptimize(pm.aggregateEffectiveUsage().byLowerPath.size());
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
        pm.setMediaFiles(pm.mediaFiles());
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
        pm.setMediaFiles(pm.mediaFiles());
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

void sortBench(benchmark::State& state, MediaSortKey key) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    resetFilters(pm);
    bool ascending = true;
    for (auto _ : state) {
        ascending = !ascending; // a new order each time: sorts the cached filter result again
        benchmark::DoNotOptimize(pm.sortedFilteredMediaRows({{key, ascending}}).size());
    }
}

void BM_SortByName(benchmark::State& state) {
    sortBench(state, MediaSortKey::fileName);
}
void BM_SortBySize(benchmark::State& state) {
    sortBench(state, MediaSortKey::size);
}

// Each run first forgets 1% of the entries, so the rebuild checks them again (fake check, no disk).
void BM_RebuildMediaFilesFromProjects(benchmark::State& state) {
    ProjectManager& pm = *world(int(state.range(0))).pm;
    for (auto _ : state) {
        state.PauseTiming();
        QList<MediaFile> fewer = pm.mediaFiles();
        fewer.removeIf([](const MediaFile& f) { return qHash(f.path) % 100 == 0; });
        pm.setMediaFiles(std::move(fewer));
        state.ResumeTiming();
        benchmark::DoNotOptimize(QCoro::waitFor(pm.rebuildMediaFilesFromProjects()));
    }
    QCoreApplication::processEvents();
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
BENCHMARK(BM_RefreshProtectedFlags)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterMiss)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterMissWithSearchText)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterHit)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SortByName)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortBySize)->Apply(sizes)->Unit(benchmark::kMillisecond);
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
