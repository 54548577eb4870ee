#include "actions/RecycleBin.h"
#include "support/CleanupHarness.h"

#include <gtest/gtest.h>

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
    h.pm().setMediaFiles({good, offline, relocated});
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
    h.pm().setMediaFiles({inside, viaLink});
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
    h.pm().setMediaFiles({a, b});
    RecycleBin bin(h.pm(), h.services());
    ASSERT_TRUE(bin.addToRecycleBin({a, b}));
    h.pm().modifyRecycleBin([&](QList<RecycleBinItem>& items) { items.append(binItem(orphan)); });

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

TEST(RecycleBin, RefusesWhileAnotherOperationHoldsTheGate) {
    CleanupHarness h;
    const MediaFile a = h.makeFile("a.mov");
    h.pm().setMediaFiles({a});
    auto scope = h.pm().tryBeginOperation("Importing…");
    ASSERT_TRUE(scope);
    EXPECT_FALSE(RecycleBin(h.pm(), h.services()).addToRecycleBin({a}));
    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
    EXPECT_TRUE(h.log.contains("refused: Importing…"));
}
