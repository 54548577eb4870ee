#include "actions/RecycleBin.h"
#include "analysis/MediaFilterIndex.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordJournal.h"
#include "support/CleanupHarness.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;

TEST(RecycleBin, StagesOnDiskFilesOnceAndSkipsOfflineAndProtectedOnes) {
    CleanupHarness h;
    h.folders.add(h.mediaPath("Protected"));
    MediaFile good = h.makeFile("Day 1/a.mov");
    good.status = MediaFileStatus::matching;
    const MediaFile offline = media(h.mediaPath("gone.mov"), 0, MediaFileStatus::networkOffline);
    MediaFile relocated = h.makeFile("b.mov");
    relocated.matchedPath = h.mediaPath("Protected/b.mov");
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({good, offline, relocated});
    h.pm().protectedFoldersDidChange();

    RecycleBin bin(h.pm(), h.services());
    ASSERT_TRUE(bin.addToRecycleBin({good, good, offline, relocated}));
    ASSERT_TRUE(bin.addToRecycleBin({good}));

    EXPECT_EQ(h.binPaths(), QStringList{good.path});
    EXPECT_EQ(h.pm().recycleBin()[0].mediaFile.status, MediaFileStatus::matching);
    EXPECT_EQ(h.entry(good.path)->status, MediaFileStatus::inRecycleBin);
    EXPECT_EQ(h.entry(relocated.path)->status, MediaFileStatus::online);
    EXPECT_TRUE(h.log.contains("Skipping offline file: gone.mov"));
    EXPECT_TRUE(h.log.contains("Skipping protected file: b.mov"));
    EXPECT_TRUE(h.log.contains("Adding 4 file(s) to recycle bin"));
    EXPECT_TRUE(h.audit.entries().isEmpty());
}

TEST(RecycleBin, AFileReachedThroughALinkIntoAProtectedFolderIsNotStaged) {
    CleanupHarness h;
    const MediaFile inside = h.makeFile("Masters/clip.mov");
    h.folders.add(h.mediaPath("Masters")); // stored with links resolved
    ASSERT_EQ(::symlink(QFile::encodeName(h.mediaPath("Masters")).constData(),
                        QFile::encodeName(h.mediaPath("Alias")).constData()),
              0);
    const MediaFile viaLink = media(h.mediaPath("Alias/clip.mov"));
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({inside, viaLink});
    h.pm().protectedFoldersDidChange();

    ASSERT_TRUE(RecycleBin(h.pm(), h.services()).addToRecycleBin({viaLink}));
    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
    EXPECT_TRUE(h.log.contains("Skipping protected file: clip.mov"));
}

TEST(RecycleBin, RestoringPutsEntriesOnlineAndAuditsEveryItem) {
    CleanupHarness h;
    MediaFile a = h.makeFile("a.mov");
    a.status = MediaFileStatus::transcoded;
    const MediaFile b = h.makeFile("b.mov");
    const MediaFile orphan = media(h.mediaPath("orphan.mov"));
    h.checker->setOnline(a.path, a.size);
    h.checker->setOnline(b.path, b.size);
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({a, b});
    RecycleBin bin(h.pm(), h.services());
    ASSERT_TRUE(bin.addToRecycleBin({a, b}));
    h.pm().edit(ProjectManager::ListChange::none).modifyRecycleBin([&](QList<RecycleBinItem>& items) {
        items.append(binItem(orphan));
    });

    ASSERT_TRUE(bin.removeFromRecycleBin({h.pm().recycleBin()[0], h.pm().recycleBin()[2]}));
    EXPECT_EQ(h.binPaths(), QStringList{b.path});
    EXPECT_EQ(h.entry(a.path)->status, MediaFileStatus::online);
    ASSERT_EQ(h.audit.entries().size(), 2);
    EXPECT_EQ(h.audit.entries()[1].filePath, orphan.path);
    EXPECT_EQ(h.audit.entries()[1].action, AuditAction::restored);

    ASSERT_TRUE(bin.restoreAllFromRecycleBin());
    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
    EXPECT_EQ(h.entry(b.path)->status, MediaFileStatus::online);
    EXPECT_EQ(h.audit.entries().size(), 3);
    ASSERT_TRUE(bin.restoreAllFromRecycleBin());
    EXPECT_EQ(h.audit.entries().size(), 3);
}

// Restoring with the bin's own live list (which the restore empties) still restores and records each.
TEST(RecycleBin, RestoringTheBinsOwnListRestoresAndAuditsEveryItem) {
    CleanupHarness h;
    const MediaFile a = h.makeFile("a.mov");
    const MediaFile b = h.makeFile("b.mov");
    h.checker->setOnline(a.path, a.size);
    h.checker->setOnline(b.path, b.size);
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({a, b});
    RecycleBin bin(h.pm(), h.services());
    ASSERT_TRUE(bin.addToRecycleBin({a, b}));

    ASSERT_TRUE(bin.removeFromRecycleBin(h.pm().recycleBin()));
    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
    EXPECT_EQ(h.entry(a.path)->status, MediaFileStatus::online);
    EXPECT_EQ(h.entry(b.path)->status, MediaFileStatus::online);
    ASSERT_EQ(h.audit.entries().size(), 2);
    EXPECT_EQ(h.audit.entries()[0].action, AuditAction::restored);
    EXPECT_EQ(h.audit.entries()[1].filePath, b.path);
}

// Nothing the user asks for is dropped while another operation runs: it waits, and happens (with
// its callback) when that operation ends, with the files as they stand then.
TEST(RecycleBin, RequestsMadeWhileBusyWaitForTheOperationAndThenHappen) {
    CleanupHarness h;
    const MediaFile a = h.makeFile("a.mov");
    const MediaFile b = h.makeFile("b.mov");
    const MediaFile c = h.makeFile("c.mov");
    h.checker->setOnline(c.path, c.size);
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({a, b, c});
    RecycleBin bin(h.pm(), h.services());
    ASSERT_TRUE(bin.addToRecycleBin({c}));
    const RecycleBinItem stagedC = h.pm().recycleBin()[0];

    auto scope = h.pm().tryBeginOperation("Importing…");
    ASSERT_TRUE(scope);
    int staged = 0;
    int restored = 0;
    EXPECT_FALSE(bin.addToRecycleBin({a, b}, [&] { ++staged; }));
    EXPECT_FALSE(bin.removeFromRecycleBin({stagedC}, [&] { ++restored; }));
    EXPECT_EQ(h.pm().queuedRequests(),
              (QStringList{"Add 2 file(s) to the recycle bin", "Restore 1 file(s) from the recycle bin"}));
    // The running import finds a timeline that uses b.
    h.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& list) {
        list[1].usageCount = 1;
    });
    drainEvents();
    EXPECT_EQ(staged + restored, 0);
    EXPECT_EQ(h.binPaths(), QStringList{c.path});

    scope->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.pm().queuedRequests().isEmpty(); }));
    EXPECT_EQ(staged, 1);
    EXPECT_EQ(restored, 1);
    EXPECT_EQ(h.binPaths(), QStringList{a.path});
    EXPECT_EQ(h.entry(a.path)->status, MediaFileStatus::inRecycleBin);
    EXPECT_EQ(h.entry(b.path)->status, MediaFileStatus::online);
    EXPECT_EQ(h.entry(c.path)->status, MediaFileStatus::online);
    EXPECT_TRUE(h.log.contains("Skipping file now in use: b.mov"));
    ASSERT_EQ(h.audit.entries().size(), 1);
    EXPECT_EQ(h.audit.entries()[0].filePath, c.path);

    // A restore of all that waited takes the bin as it is when it runs.
    scope = h.pm().tryBeginOperation("Refreshing file status…");
    EXPECT_FALSE(bin.restoreAllFromRecycleBin());
    scope->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.pm().recycleBin().isEmpty(); }));
    EXPECT_EQ(h.audit.entries().size(), 2);
}

// Thousands of files are sorted out on a worker (the window keeps drawing) and applied in one step;
// the outcome is the one the files would have one by one: offline and protected files skipped,
// every staged entry marked, every restored one back online with its audit entry.
TEST(RecycleBin, ThousandsOfFilesAreSortedOutOffTheGuiThreadWithTheSameOutcome) {
    CleanupHarness h;
    h.folders.add(QStringLiteral("/media/protected"));
    QList<MediaFile> media;
    for (int i = 0; i < 3000; ++i) {
        const QString folder =
            i % 100 == 0 ? QStringLiteral("/media/protected/") : QStringLiteral("/media/show/");
        media.append(
            tarnwick::testing::media(folder + QStringLiteral("c%1.mov").arg(i), 0,
                                     i % 50 == 1 ? MediaFileStatus::offline : MediaFileStatus::online));
        if (i != 3) // c3 goes away while staged
            h.checker->setOnline(media.last().path, 0);
    }
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles(media);
    h.pm().protectedFoldersDidChange();
    RecycleBin bin(h.pm(), h.services());

    bool staged = false;
    const bool atOnce = bin.addToRecycleBin(media, [&] { staged = true; });
    EXPECT_FALSE(atOnce);
    EXPECT_TRUE(h.pm().recycleBin().isEmpty()); // nothing yet: the worker sorts them out
    ASSERT_TRUE(QTest::qWaitFor([&] { return staged; }, 60000));
    EXPECT_EQ(h.pm().recycleBin().size(), 3000 - 30 - 60);
    EXPECT_FALSE(h.pm().isBusy());
    EXPECT_EQ(h.entry(QStringLiteral("/media/show/c2.mov"))->status, MediaFileStatus::inRecycleBin);
    EXPECT_EQ(h.entry(QStringLiteral("/media/show/c1.mov"))->status, MediaFileStatus::offline);
    EXPECT_EQ(h.entry(QStringLiteral("/media/protected/c100.mov"))->status, MediaFileStatus::online);
    EXPECT_TRUE(h.log.contains("Skipping offline file: c1.mov"));
    EXPECT_TRUE(h.log.contains("Skipping protected file: c100.mov"));
    EXPECT_EQ(h.pm().summary().recycleBinCount, 3000 - 30 - 60);
    const auto filteredAfresh = [&] {
        MediaFilterIndex index;
        const MediaFilterIndex::Lists lists{h.pm().mediaFiles(), h.pm().recycleBin(), h.pm().projects(),
                                            h.pm().largeFileThreshold()};
        return index.filteredRows(h.pm().currentFilterCacheKey(), lists);
    };
    EXPECT_EQ(h.pm().filteredMediaRows().size(), 30 + 60); // the bin's rows as the worker made them
    EXPECT_EQ(h.pm().filteredMediaRows().sourceRows(), filteredAfresh());

    bool restored = false;
    EXPECT_FALSE(bin.restoreAllFromRecycleBin([&] { restored = true; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return restored; }, 60000));
    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
    EXPECT_EQ(h.entry(QStringLiteral("/media/show/c2.mov"))->status, MediaFileStatus::online);
    EXPECT_EQ(h.entry(QStringLiteral("/media/show/c3.mov"))->status, MediaFileStatus::offline);
    EXPECT_EQ(h.audit.entries().size(), 3000 - 30 - 60);
    EXPECT_FALSE(h.pm().isBusy());
}

// The journal's write of a large restore (tens of megabytes) keeps the window waiting no longer,
// yet the restore reports only once its entries are on disk.
TEST(RecycleBin, ABulkRestoreWritesItsRecordsOffTheGuiThreadBeforeItReports) {
    CleanupHarness h;
    QList<MediaFile> media;
    for (int i = 0; i < 3000; ++i) {
        media.append(tarnwick::testing::media(QStringLiteral("/media/show/c%1.mov").arg(i)));
        h.checker->setOnline(media.last().path, 0);
    }
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles(media);
    RecycleBin bin(h.pm(), h.services());
    bool staged = false;
    bin.addToRecycleBin(media, [&] { staged = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return staged; }, 60000));

    QSemaphore reached;
    QSemaphore gate;
    const std::thread::id gui = std::this_thread::get_id();
    h.audit.journal().setWriteFaultForTesting([&] {
        if (std::this_thread::get_id() == gui)
            return 0; // the gate would hold the window: the assertions below fail instead
        reached.release();
        gate.acquire();
        return 0;
    });
    bool restored = false;
    EXPECT_FALSE(bin.restoreAllFromRecycleBin([&] { restored = true; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reached.available() > 0 || restored; }, 60000));
    ASSERT_FALSE(restored);
    for (int turn = 0; turn < 20; ++turn)
        QCoreApplication::processEvents();
    EXPECT_FALSE(restored);
    EXPECT_EQ(h.pm().recycleBin().size(), 3000);

    gate.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return restored; }, 60000));
    const QList<AuditLogEntry> durable = RecordJournal(h.audit.journalFileName()).read().entries;
    ASSERT_EQ(durable.size(), 3000);
    EXPECT_EQ(durable.last().action, AuditAction::restored);
    EXPECT_EQ(h.audit.count(), 3000);
    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
}

// A restored file comes back as a rescan would find it: one deleted from disk while staged is
// missing, not online, so that adding all unused files cannot stage it again.
TEST(RecycleBin, RestoredFilesComeBackWithTheStatusARescanWouldFind) {
    CleanupHarness h;
    const MediaFile there = h.makeFile("there.mov", 10);
    const MediaFile gone = h.makeFile("gone.mov", 10);
    const MediaFile moved = h.makeFile("moved.mov", 10);
    h.checker->setOnline(there.path, 10);
    h.checker->setMatching(moved.path, h.mediaPath("found/moved.mov"), 12);
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({there, gone, moved});
    RecycleBin bin(h.pm(), h.services());
    ASSERT_TRUE(bin.addToRecycleBin({there, gone, moved}));

    ASSERT_TRUE(bin.removeFromRecycleBin({h.pm().recycleBin()[1]}));
    EXPECT_EQ(h.entry(gone.path)->status, MediaFileStatus::offline);
    EXPECT_EQ(h.entry(there.path)->status, MediaFileStatus::inRecycleBin);
    ASSERT_TRUE(bin.restoreAllFromRecycleBin());
    EXPECT_EQ(h.entry(there.path)->status, MediaFileStatus::online);
    EXPECT_EQ(h.entry(moved.path)->status, MediaFileStatus::matching);
    EXPECT_EQ(h.entry(moved.path)->matchedPath, h.mediaPath("found/moved.mov"));
    EXPECT_EQ(h.entry(moved.path)->size, 12);
    EXPECT_EQ(h.audit.entries().size(), 3);

    ASSERT_TRUE(bin.addToRecycleBin({*h.entry(gone.path)}));
    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
    EXPECT_TRUE(h.log.contains("Skipping offline file: gone.mov"));
}
