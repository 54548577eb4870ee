#include "analysis/MediaRescanner.h"

#include "support/ImportTestHarness.h"
#include "support/ProjectManagerHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThread>

using namespace tarnwick;
using ::testing::ElementsAre;

namespace {

MediaFile entry(const QString& path, MediaFileStatus status) {
    MediaFile f = newMediaEntry(path);
    f.status = status;
    f.size = 5;
    f.usageCount = 9;
    f.usageType = MediaUsageType::videoAndAudio;
    f.projectNames = {"Old"};
    return f;
}

FileStatusResult result(const QString& path, MediaFileStatus status, const QString& resolved, qint64 size,
                        StorageType storage = StorageType::local) {
    return {path, status, resolved, size, storage};
}

} // namespace

TEST(MediaRescanner, CleanUpStatesStayWhileDiskFactsRefresh) {
    const MediaFileStatus kept[] = {MediaFileStatus::deleted, MediaFileStatus::moved,
                                    MediaFileStatus::inRecycleBin};
    for (MediaFileStatus status : kept) {
        SCOPED_TRACE(text(status).toStdString());
        MediaFile f = entry("/m/a.mov", status);
        MediaRescanner::applyStatus(
            f, result(f.path, MediaFileStatus::matching, "/n/a.mov", 42, StorageType::network));
        EXPECT_EQ(f.status, status);
        EXPECT_EQ(f.matchedPath, QString("/n/a.mov"));
        EXPECT_EQ(f.size, 42);
        EXPECT_EQ(f.storageType, StorageType::network);
    }
    MediaFile found = entry("/m/a.mov", MediaFileStatus::matching);
    found.matchedPath = QStringLiteral("/n/a.mov");
    MediaRescanner::applyStatus(found, result(found.path, MediaFileStatus::online, found.path, 7));
    EXPECT_EQ(found.status, MediaFileStatus::online);
    EXPECT_FALSE(found.matchedPath.has_value());
}

TEST(MediaRescanner, UsageComesFromProjectsOrStaysWhenNoProjectListsThePath) {
    UsageMap usage;
    usage.add("/m/used.mov", "P", {2, true, {"B", "A"}});
    usage.add("/m/ae.mov", "P", {0, false, {}});
    MediaFile used = entry("/m/used.mov", MediaFileStatus::online);
    MediaFile ae = entry("/m/ae.mov", MediaFileStatus::online);
    ae.isAEFootage = true;
    MediaFile orphan = entry("/m/orphan.mov", MediaFileStatus::online);
    QList<MediaFile> list = {used, ae, orphan};
    MediaRescanner::apply(list, {}, usage);
    EXPECT_EQ(list[0].usageType, MediaUsageType::audioOnly);
    EXPECT_THAT(list[0].sequenceNames, ElementsAre("A", "B"));
    EXPECT_EQ(list[1].usageType, MediaUsageType::usedInAfterEffects);
    EXPECT_EQ(list[1].usageCount, 0);
    EXPECT_EQ(list[2].usageCount, 9);
    EXPECT_THAT(list[2].projectNames, ElementsAre("Old"));
}

TEST(MediaRescanner, AppliesResultsByEntryEvenAfterTheListChanged) {
    MediaFile a = entry("/m/a.mov", MediaFileStatus::offline);
    MediaFile b = entry("/m/b.mov", MediaFileStatus::online);
    QHash<QUuid, FileStatusResult> results;
    for (const auto& check : MediaRescanner::checksFor({a, b}))
        results.insert(check.id, result(check.path, MediaFileStatus::online, check.path, 100));
    results[b.id].status = MediaFileStatus::offline;
    results[b.id].size = 0;

    // Meanwhile the list was reordered and gained an entry the checks never saw.
    const MediaFile added = entry("/m/new.mov", MediaFileStatus::checking);
    QList<MediaFile> list = {b, added, a};
    EXPECT_EQ(MediaRescanner::apply(list, results, {}), 2);
    EXPECT_EQ(list[0].status, MediaFileStatus::offline);
    EXPECT_EQ(list[1].status, MediaFileStatus::checking);
    EXPECT_EQ(list[2].status, MediaFileStatus::online);
    EXPECT_EQ(list[2].size, 100);
}

namespace {

ProjectFile listing(const QString& name, const QStringList& paths,
                    const QHash<QString, QString>& candidates = {}) {
    ProjectFile p;
    p.name = name;
    p.url = QUrl::fromLocalFile("/p/" + name + ".prproj");
    p.mediaFiles = paths;
    p.usedFiles = paths;
    for (const QString& path : paths)
        p.usageCountByPath.insert(path, 1);
    p.relativeCandidates = candidates;
    return p;
}

} // namespace

TEST(MediaRescanner, RescanFollowsFilesThatAppearDisappearAndMove) {
    tarnwick::testing::ImportTestHarness h;
    const QString appears = h.dir.filePath("media/appears.mov");
    const QString disappears = h.makeFile("media/disappears.mov");
    const QString moves = h.makeFile("media/moves.mov");
    const QString movedTo = h.dir.filePath("elsewhere/moves.mov");
    h.pm()
        .edit(ProjectManager::ListChange::none)
        .setProjects({listing("P", {appears, disappears, moves}, {{moves, movedTo}})});
    h.pm()
        .edit(ProjectManager::ListChange::none)
        .setMediaFiles({tarnwick::testing::media(appears, 0, MediaFileStatus::offline),
                        tarnwick::testing::media(disappears, 0, MediaFileStatus::online, 64),
                        tarnwick::testing::media(moves, 0, MediaFileStatus::online, 64)});

    h.makeFile("media/appears.mov", QByteArray(10, 'a'));
    QFile::remove(disappears);
    QDir().mkpath(h.dir.filePath("elsewhere"));
    ASSERT_TRUE(QFile::rename(moves, movedTo));
    ASSERT_TRUE(QCoro::waitFor(MediaRescanner::rescanAll(h.pm())));

    EXPECT_EQ(h.entry(appears)->status, MediaFileStatus::online);
    EXPECT_EQ(h.entry(appears)->size, 10);
    EXPECT_EQ(h.entry(disappears)->status, MediaFileStatus::offline);
    EXPECT_EQ(h.entry(disappears)->size, 0);
    EXPECT_EQ(h.entry(moves)->status, MediaFileStatus::matching);
    EXPECT_EQ(h.entry(moves)->matchedPath, movedTo);
    EXPECT_EQ(h.entry(moves)->usageCount, 1);
    EXPECT_EQ(h.pm().summary().offlineFiles, 1);
    EXPECT_TRUE(h.logged("Rescanning file status and usage counts"));
    EXPECT_TRUE(h.logged("Rescan complete"));
    EXPECT_FALSE(h.pm().isBusy());
}

TEST(MediaRescanner, ChecksRunOffTheGuiThreadWhileTheManagerIsBusy) {
    tarnwick::testing::ImportTestHarness h(true);
    h.checker->setOnline("/m/a.mov", 5);
    bool busyDuringChecks = false;
    ProjectManager* pm = h.manager.get();
    h.checker->setHook([&](const QString&) { busyDuringChecks = pm->isBusy(); });
    h.pm()
        .edit(ProjectManager::ListChange::none)
        .setMediaFiles({tarnwick::testing::media("/m/a.mov", 0, MediaFileStatus::offline),
                        tarnwick::testing::media("/m/b.mov")});
    const qint64 versionBefore = h.pm().mediaFilesVersion();
    ASSERT_TRUE(QCoro::waitFor(MediaRescanner::rescanAll(h.pm())));
    EXPECT_TRUE(h.checker->ranOnlyOffThread(QThread::currentThread()));
    EXPECT_TRUE(busyDuringChecks);
    EXPECT_EQ(h.entry("/m/a.mov")->status, MediaFileStatus::online);
    EXPECT_EQ(h.entry("/m/b.mov")->status, MediaFileStatus::offline);
    // One pass for the results, then the recount and the summary: not one change per file.
    EXPECT_LE(h.pm().mediaFilesVersion() - versionBefore, 4);
}

TEST(MediaRescanner, AChangeMadeWhileCheckingIsKeptWithTheResults) {
    tarnwick::testing::ImportTestHarness h(true);
    h.checker->setOnline("/m/a.mov", 5);
    ProjectManager* pm = h.manager.get();
    // A flag set on the GUI thread while the worker checks: the list the results go to has changed.
    h.checker->setHook([pm](const QString&) {
        QMetaObject::invokeMethod(
            pm,
            [pm] {
                pm->edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& list) {
                    for (MediaFile& f : list)
                        f.isProtected = f.path == "/m/b.mov";
                });
            },
            Qt::QueuedConnection);
    });
    h.pm()
        .edit(ProjectManager::ListChange::none)
        .setMediaFiles({tarnwick::testing::media("/m/a.mov", 0, MediaFileStatus::offline),
                        tarnwick::testing::media("/m/b.mov")});
    ASSERT_TRUE(QCoro::waitFor(MediaRescanner::rescanAll(h.pm())));
    EXPECT_EQ(h.entry("/m/a.mov")->status, MediaFileStatus::online);
    EXPECT_EQ(h.entry("/m/b.mov")->status, MediaFileStatus::offline);
    EXPECT_TRUE(h.entry("/m/b.mov")->isProtected) << "the change made meanwhile stays";
    EXPECT_TRUE(h.logged("Rescan complete"));
}

TEST(MediaRescanner, EmptyListStillRecountsAndSummarises) {
    tarnwick::testing::ImportTestHarness h(true);
    ASSERT_TRUE(QCoro::waitFor(MediaRescanner::rescanAll(h.pm())));
    EXPECT_EQ(h.checker->calls(), 0);
    EXPECT_TRUE(h.logged("Rescan complete"));
}
