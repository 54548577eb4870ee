#include "platform/TextKey.h"
#include "support/ProjectManagerHarness.h"

#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

using S = MediaFileStatus;

QStringList paths(const QList<MediaFile>& files) {
    QStringList out;
    for (const MediaFile& f : files)
        out << f.path;
    return out;
}

const MediaFile* find(const QList<MediaFile>& files, const QString& path) {
    for (const MediaFile& f : files) {
        if (f.path == path)
            return &f;
    }
    return nullptr;
}

TEST(ProjectManagerRebuild, KeepsKnownEntriesChecksNewPathsAndDropsUnreferencedOnes) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    const ProjectFile a = project("A", {"/m/a.mov", "/m/shared.mov"}, {"/m/a.mov"});
    const ProjectFile b = project("B", {"/m/shared.mov", "/n/b.mov"}, {"/m/shared.mov"});
    pm.edit(ProjectManager::ListChange::none).setProjects({a, b});
    MediaFile known = media("/m/shared.mov", 0, S::offline, 5);
    known.matchedPath = QStringLiteral("/found/shared.mov");
    known.storageType = StorageType::network;
    known.isAEFootage = true;
    const MediaFile dropped = media("/m/a.mov", 1, S::inRecycleBin, 3);
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({dropped, known});
    pm.edit(ProjectManager::ListChange::none).setRecycleBin({binItem(dropped)});
    pm.updateFilters([&](FilterSettings& filters) { filters.selectedProjectIDs = {a.id, b.id}; });
    h.checker->setOnline("/n/b.mov", 9, StorageType::dropbox);

    ASSERT_TRUE(QCoro::waitFor(pm.removeProject(a)));
    EXPECT_EQ(pm.filters().selectedProjectIDs, QSet<QUuid>{b.id});
    EXPECT_EQ(paths(pm.mediaFiles()), (QStringList{"/n/b.mov", "/m/shared.mov"})) << "sorted by file name";
    const MediaFile* kept = find(pm.mediaFiles(), "/m/shared.mov");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->id, known.id);
    EXPECT_EQ(kept->status, S::offline);
    EXPECT_EQ(kept->size, 5);
    EXPECT_EQ(kept->matchedPath, known.matchedPath);
    EXPECT_EQ(kept->storageType, StorageType::network);
    EXPECT_EQ(kept->usageCount, 1);
    EXPECT_EQ(kept->projectNames, QStringList{"B"});
    const MediaFile* fresh = find(pm.mediaFiles(), "/n/b.mov");
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->status, S::online);
    EXPECT_EQ(fresh->size, 9);
    EXPECT_EQ(fresh->storageType, StorageType::dropbox);
    EXPECT_FALSE(fresh->matchedPath);
    EXPECT_EQ(fresh->usageType, MediaUsageType::unused);
    EXPECT_EQ(h.checker->asked(), QSet<QString>{"/n/b.mov"}) << "only new paths are checked";
    EXPECT_TRUE(pm.recycleBin().isEmpty()) << "the bin item whose file left the list is pruned";
    EXPECT_EQ(pm.summary().totalMediaFiles, 2);
}

// The known entry sits between new paths, and its project writes its name decomposed: the entry is
// kept, and each new path still gets its own check's result.
TEST(ProjectManagerRebuild, KeepsAnEntryNamedInAnotherUnicodeFormAndPutsEachResultOnItsPath) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none)
        .setProjects({project("A", {"/m/1.mov", "/m/2.mov", "/m/cafe\u0301.mov", "/m/3.mov"})});
    const MediaFile known = media("/m/caf\u00e9.mov", 0, S::offline, 5);
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({known});
    for (int i = 1; i <= 3; ++i)
        h.checker->setOnline(QStringLiteral("/m/%1.mov").arg(i), 10 * i);

    ASSERT_TRUE(QCoro::waitFor(pm.rebuildMediaFilesFromProjects()));
    ASSERT_EQ(pm.mediaFiles().size(), 4);
    EXPECT_EQ(h.checker->asked(), (QSet<QString>{"/m/1.mov", "/m/2.mov", "/m/3.mov"}));
    for (int i = 1; i <= 3; ++i) {
        const MediaFile* fresh = find(pm.mediaFiles(), QStringLiteral("/m/%1.mov").arg(i));
        ASSERT_TRUE(fresh);
        EXPECT_EQ(fresh->size, 10 * i);
        EXPECT_EQ(fresh->status, S::online);
    }
    const auto kept = std::find_if(pm.mediaFiles().cbegin(), pm.mediaFiles().cend(),
                                   [&](const MediaFile& f) { return f.id == known.id; });
    ASSERT_NE(kept, pm.mediaFiles().cend());
    EXPECT_EQ(kept->status, S::offline);
    EXPECT_EQ(kept->size, 5);
}

// Long enough for the list to be made in stretches side by side: known entries and checked paths in
// several of them.
TEST(ProjectManagerRebuild, ALongListKeepsEachKnownEntryAndPutsEachResultOnItsPath) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    const int count = 40000;
    ProjectFile long_ = project("Long", {});
    for (int i = 0; i < count; ++i)
        long_.mediaFiles.append(QStringLiteral("/m/%1/c%2.mov").arg(i % 9).arg(i));
    pm.edit(ProjectManager::ListChange::none).setProjects({long_});
    QHash<int, QUuid> known;
    QList<MediaFile> entries;
    for (int i : {7, 17000, count - 1}) {
        entries.append(media(long_.mediaFiles[i], 0, S::offline, 1000000 + i));
        known.insert(i, entries.last().id);
    }
    pm.edit(ProjectManager::ListChange::none).setMediaFiles(entries);
    for (int i = 3; i < count; i += 4001)
        h.checker->setOnline(long_.mediaFiles[i], i + 1);

    ASSERT_TRUE(QCoro::waitFor(pm.rebuildMediaFilesFromProjects()));
    ASSERT_EQ(pm.mediaFiles().size(), count);
    QSet<QUuid> ids;
    for (const MediaFile& file : pm.mediaFiles()) {
        ids.insert(file.id);
        const int i = file.path.mid(file.path.lastIndexOf(QStringLiteral("/c")) + 2).chopped(4).toInt();
        SCOPED_TRACE(file.path.toStdString());
        if (known.contains(i)) {
            ASSERT_EQ(file.id, known[i]);
            ASSERT_EQ(file.size, 1000000 + i);
        } else if (i % 4001 == 3) {
            ASSERT_EQ(file.status, S::online);
            ASSERT_EQ(file.size, i + 1);
        } else {
            ASSERT_NE(file.status, S::online);
        }
        ASSERT_EQ(file.projectNames, QStringList{"Long"});
    }
    EXPECT_EQ(ids.size(), count) << "each new entry draws an identifier of its own";
}

TEST(ProjectManagerRebuild, SortsByFileNameAsTheLocalizedCaseInsensitiveComparison) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none)
        .setProjects({project("A", {"/1/f.mov", "/2/\u00e9.mov", "/3/E.mov", "/4/d.mov", "/5/_x.mov"})});
    ASSERT_TRUE(QCoro::waitFor(pm.rebuildMediaFilesFromProjects()));
    QStringList names;
    for (const MediaFile& f : pm.mediaFiles())
        names << f.fileName();
    EXPECT_TRUE(std::is_sorted(
        names.cbegin(), names.cend(),
        [](const QString& a, const QString& b) { return text::localizedCaseInsensitiveCompare(a, b) < 0; }))
        << names.join(' ').toStdString() << ": the order the import ends with";
}

TEST(ProjectManagerRebuild, EmptiesListAndBinWhenNoProjectIsLeft) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    const ProjectFile only = project("Only", {"/m/a.mov"});
    pm.edit(ProjectManager::ListChange::none).setProjects({only});
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({media("/m/a.mov")});
    pm.edit(ProjectManager::ListChange::none).setRecycleBin({binItem(media("/m/a.mov"))});
    ASSERT_TRUE(QCoro::waitFor(pm.removeProject(only)));
    EXPECT_TRUE(pm.mediaFiles().isEmpty());
    EXPECT_TRUE(pm.recycleBin().isEmpty());
    EXPECT_TRUE(pm.projects().isEmpty());
}

TEST(ProjectManagerRebuild, FollowsTheListAndBinRulesForPathsAndCandidates) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ProjectFile first =
        project("First", {"/m/x.mov", "/m/alt.mov", "/m/dup.mov", "/m/mix.mov"}, {"/m/mix.mov"});
    first.audioOnlyFiles = {QStringLiteral("/m/mix.mov")};
    first.relativeCandidates.insert("/m/x.mov", "/c1/x.mov");
    ProjectFile second = project("Second", {"/m/mix.mov"});
    second.relativeCandidates.insert("/m/x.mov", "/c2/x.mov");
    pm.edit(ProjectManager::ListChange::none).setProjects({first, second});
    h.checker->setOnline("/c2/x.mov", 22); // the earlier project's candidate is gone
    MediaFile holder = media("/m/holder.mov");
    holder.alternativePaths = {QStringLiteral("/m/alt.mov")};
    MediaFile earlier = media("/m/dup.mov", 0, S::offline, 1);
    MediaFile later = media("/m/dup.mov", 0, S::online, 2);
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({holder, earlier, later, media("/m/mix.mov")});
    pm.edit(ProjectManager::ListChange::none).setRecycleBin({binItem(media("/M/MIX.mov"))});

    ASSERT_TRUE(QCoro::waitFor(pm.rebuildMediaFilesFromProjects()));
    const MediaFile* x = find(pm.mediaFiles(), "/m/x.mov");
    ASSERT_TRUE(x);
    EXPECT_EQ(x->status, S::matching);
    EXPECT_EQ(x->matchedPath, QStringLiteral("/c2/x.mov")) << "the first candidate that exists";
    EXPECT_EQ(x->size, 22);
    ASSERT_TRUE(find(pm.mediaFiles(), "/m/alt.mov")) << "an alternative path is not matched by its holder";
    EXPECT_TRUE(h.checker->asked().contains("/m/alt.mov"));
    EXPECT_FALSE(find(pm.mediaFiles(), "/m/holder.mov"));
    const MediaFile* dup = find(pm.mediaFiles(), "/m/dup.mov");
    ASSERT_TRUE(dup);
    EXPECT_EQ(dup->id, later.id) << "two entries with one path collapse into the later";
    EXPECT_EQ(pm.mediaFiles().size(), 4);
    const MediaFile* mix = find(pm.mediaFiles(), "/m/mix.mov");
    ASSERT_TRUE(mix);
    EXPECT_EQ(mix->usageType, MediaUsageType::audioOnly);
    EXPECT_EQ(mix->projectNames, (QStringList{"First", "Second"}));
    EXPECT_TRUE(pm.recycleBin().isEmpty()) << "the bin is pruned by exact path";
}

TEST(ProjectManagerRebuild, PrunesBinItemsWhoseFileWasMergedAway) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    MediaFile survivor = media("/a/clip.mov");
    survivor.alternativePaths = {QStringLiteral("/b/clip.mov")};
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({survivor, media("/c/kept.mov")});
    pm.edit(ProjectManager::ListChange::none)
        .setRecycleBin({binItem(media("/b/clip.mov")), binItem(media("/c/kept.mov"))});
    const qint64 version = pm.recycleBinVersion();
    EXPECT_TRUE(pm.isOrphanedRecycleBinItem(pm.recycleBin()[0]));
    EXPECT_FALSE(pm.isOrphanedRecycleBinItem(pm.recycleBin()[1]));
    pm.edit(ProjectManager::ListChange::entriesMerged);
    ASSERT_EQ(pm.recycleBin().size(), 1);
    EXPECT_EQ(pm.recycleBin()[0].mediaFile.path, QStringLiteral("/c/kept.mov"));
    pm.edit(ProjectManager::ListChange::entriesMerged);
    EXPECT_EQ(pm.recycleBinVersion(), version + 2) << "counted also when nothing was removed";
}

TEST(ProjectManagerRebuild, ChecksOffTheGuiThreadWhileTheManagerIsBusy) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none)
        .setProjects({project("A", {"/m/a.mov", "/m/b.mov"}, {"/m/a.mov"})});
    h.checker->setOnline("/m/a.mov", 1);
    std::atomic_bool go{false};
    h.checker->setHook([&](const QString&) {
        while (!go)
            QThread::msleep(1);
    });
    auto rebuild = pm.rebuildMediaFilesFromProjects();
    EXPECT_TRUE(pm.isBusy());
    EXPECT_FALSE(pm.busyReason().isEmpty());
    const qint64 mediaVersion = pm.mediaFilesVersion();
    EXPECT_TRUE(pm.addSequenceRule("dailies", SequenceRuleAction::ignore)) << "stored; its recount waits";
    EXPECT_FALSE(pm.clearAll());
    drainEvents();
    EXPECT_EQ(pm.mediaFilesVersion(), mediaVersion) << "nothing is applied before every check is back";
    go = true;
    EXPECT_TRUE(QCoro::waitFor(rebuild));
    EXPECT_FALSE(pm.isBusy());
    EXPECT_TRUE(h.checker->ranOnlyOffThread(QThread::currentThread()));
    EXPECT_EQ(pm.mediaFiles().size(), 2);
    EXPECT_EQ(pm.summary().onlineFiles, 1);
    EXPECT_EQ(pm.summary().offlineFiles, 1);
}

TEST(ProjectManagerRebuild, SurvivesTheWindowClosingWhileFilesAreChecked) {
    auto h = std::make_unique<ProjectManagerHarness>();
    h->pm().edit(ProjectManager::ListChange::none).setProjects({project("A", {"/m/a.mov"})});
    std::atomic_bool go{false};
    h->checker->setHook([&](const QString&) {
        while (!go)
            QThread::msleep(1);
    });
    auto rebuild = h->pm().rebuildMediaFilesFromProjects();
    std::thread release([&] {
        QThread::msleep(20);
        go = true;
    });
    h->manager.reset(); // waits for the worker, never for the GUI thread
    release.join();
    drainEvents();
    EXPECT_TRUE(QCoro::waitFor(rebuild));
}

TEST(ProjectManagerRebuild, ClosingTheWindowStartsNoFurtherChecks) {
    auto h = std::make_unique<ProjectManagerHarness>();
    ProjectFile many = project("Many", {});
    for (int i = 0; i < 1000; ++i)
        many.mediaFiles.append(QStringLiteral("/share/clip%1.mov").arg(i));
    h->pm().edit(ProjectManager::ListChange::none).setProjects({many});
    std::atomic_bool go{false};
    h->checker->setHook([&](const QString&) {
        while (!go)
            QThread::msleep(1);
    });
    auto rebuild = h->pm().rebuildMediaFilesFromProjects();
    std::thread release([&] {
        QThread::msleep(100);
        go = true;
    });
    h->manager.reset();
    release.join();
    EXPECT_LT(h->checker->calls(), 1000) << "only the checks already in flight finish";
    drainEvents();
    QCoro::waitFor(rebuild);
}

} // namespace

TEST(ProjectManagerRebuild, ACommittedChangeRunsTheFollowUpsItNames) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    MediaFile survivor = media("/a/clip.mov");
    survivor.alternativePaths = {QStringLiteral("/b/clip.mov")};
    pm.edit(ProjectManager::ListChange::none).setProjects({project("A", {"/c/kept.mov"}, {"/c/kept.mov"})});
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({survivor, media("/c/kept.mov")});
    pm.edit(ProjectManager::ListChange::none).setRecycleBin({binItem(media("/b/clip.mov"))});

    pm.edit(ProjectManager::ListChange::entries);
    EXPECT_EQ(pm.recycleBin().size(), 1) << "a change of fields leaves the bin alone";
    EXPECT_EQ(pm.summary().totalMediaFiles, 2);
    EXPECT_EQ(pm.summary().usedFiles, 0) << "nor recounts";

    pm.edit(ProjectManager::ListChange::entriesMerged | ProjectManager::ListChange::usage);
    EXPECT_TRUE(pm.recycleBin().isEmpty()) << "the item merged away left the bin";
    EXPECT_EQ(pm.summary().usedFiles, 1) << "recounted, then summed up";
}
