#include "actions/ProtectedFolderTest.h"
#include "actions/RecycleBin.h"
#include "platform/LinuxFileOperations.h"
#include "support/ImportTestHarness.h"
#include "support/LinkedMediaTree.h"
#include "support/ProjectManagerHarness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;

TEST(ProtectedFolderRule, MatchesTheFolderItselfAndBelowIgnoringCaseButNotASiblingPrefix) {
    const QStringList folders{"/Volumes/RAID/Protected", "/A/B"};
    const ProtectedFolderTest test(folders, nullptr);
    EXPECT_TRUE(test.isInProtectedFolder("/volumes/raid/protected/a.mov"));
    EXPECT_TRUE(test.isInProtectedFolder("/A/B"));
    EXPECT_TRUE(test.isInProtectedFolder("/A/B/x.mov"));
    EXPECT_FALSE(test.isInProtectedFolder("/A/BC/x.mov"));
    EXPECT_FALSE(test.isInProtectedFolder(""));
    // Standardized first: dot-dot cannot step out of (or into) protection by text alone.
    EXPECT_TRUE(test.isInProtectedFolder("/A/C/../B/x.mov"));
    EXPECT_FALSE(test.isInProtectedFolder("/A/B/../C/x.mov"));
    EXPECT_FALSE(ProtectedFolderTest({}, nullptr).isInProtectedFolder("/A/B/x.mov"));
}

TEST(ProtectedFolderRule, AFileReachedThroughALinkIntoAProtectedFolderIsProtected) {
    QTemporaryDir dir;
    const QString real = QDir(dir.path()).canonicalPath() + "/Masters";
    QDir().mkpath(real + "/Day 1");
    QFile(real + "/Day 1/clip.mov").open(QIODevice::WriteOnly);
    ASSERT_EQ(::symlink(QFile::encodeName(real).constData(),
                        QFile::encodeName(dir.path() + "/Shortcut").constData()),
              0);
    LinuxFileOperations files;
    // The store keeps folders with links resolved.
    const ProtectedFolderTest test({real}, &files);

    EXPECT_TRUE(test.isInProtectedFolder(dir.path() + "/Shortcut/Day 1/clip.mov"));
    // The link itself is not in the folder: removing it leaves the folder alone.
    EXPECT_FALSE(test.isInProtectedFolder(dir.path() + "/Shortcut"));
    EXPECT_FALSE(test.isInProtectedFolder(dir.path() + "/Elsewhere/clip.mov"));
    // Without file access only the text is compared, which misses the link.
    EXPECT_FALSE(ProtectedFolderTest::isLexicallyInFolders(dir.path() + "/Shortcut/Day 1/clip.mov", {real}));
}

TEST(ProtectedFolderRule, AFolderWrittenThroughALinkProtectsWhatTheLinkLeadsTo) {
    LinkedMediaTree tree;
    ASSERT_TRUE(tree.makeVolumeLink());
    LinuxFileOperations files;
    const ProtectedFolderTest test({tree.volumeLink() + "/Archive"}, &files);
    EXPECT_TRUE(test.isInProtectedFolder(tree.volume() + "/archive/a.mov"));
    EXPECT_TRUE(test.isInProtectedFolder(tree.volumeLink() + "/Archive/a.mov"));
    EXPECT_FALSE(test.isInProtectedFolder(tree.volume() + "/Other/b.mov"));
    EXPECT_FALSE(ProtectedFolderTest({tree.volumeLink() + "/Archive"}, nullptr)
                     .isInProtectedFolder(tree.volume() + "/Archive/a.mov"));
}

// What the table shows as protected is exactly what staging and the removals refuse, with the link
// in the file's path or in the protected folder's.
TEST(ProtectedFolderRule, TheFlagsAndTheActionsAgreeAcrossLinks) {
    LinkedMediaTree tree;
    ASSERT_TRUE(tree.makeVolumeLink());
    const QStringList locations{tree.volumeLink() + "/Archive/a.mov", tree.volume() + "/Archive/a.mov",
                                tree.volumeLink() + "/Other/b.mov", tree.clipLink(),
                                tree.root + "/home/missing/c.mov"};
    const QList<QStringList> setups{{tree.volume() + "/Archive"}, {tree.volumeLink() + "/Archive"}};
    for (const QStringList& folders : setups) {
        SCOPED_TRACE(folders.constFirst().toStdString());
        ProjectManagerHarness h;
        ProjectManager& pm = h.pm();
        QList<MediaFile> entries;
        for (const QString& location : locations)
            entries.append(media(location));
        pm.edit(ProjectManager::ListChange::none).setMediaFiles(entries);
        pm.updateOptions([&](CleanupOptions& options) { options.protectedFolders = folders; });
        pm.refreshProtectedFlags();
        // The linked locations settle once resolved on the manager's worker.
        ASSERT_TRUE(
            spinUntil([&] { return pm.mediaFiles()[0].isProtected && pm.mediaFiles()[1].isProtected; }));

        auto files = std::make_shared<LinuxFileOperations>();
        const ProtectedFolderTest action(folders, files.get());
        QList<MediaFile> unflagged;
        for (const MediaFile& file : pm.mediaFiles()) {
            EXPECT_EQ(file.isProtected, action.isInProtectedFolder(file.path)) << file.path.toStdString();
            if (!file.isProtected)
                unflagged.append(file);
        }
        EXPECT_EQ(unflagged.size(), 3);
    }
}

TEST(ProtectedFolderRule, StagingRefusesExactlyTheFlaggedFiles) {
    LinkedMediaTree tree;
    ASSERT_TRUE(tree.makeVolumeLink());
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none)
        .setMediaFiles(
            {media(tree.volumeLink() + "/Archive/a.mov"), media(tree.volumeLink() + "/Other/b.mov")});
    h.folders.add(tree.volume() + "/Archive");
    ASSERT_TRUE(pm.protectedFoldersDidChange());
    ASSERT_TRUE(spinUntil([&] { return pm.mediaFiles()[0].isProtected; }));
    ASSERT_FALSE(pm.mediaFiles()[1].isProtected);

    CleanupServices services;
    services.files = std::make_shared<LinuxFileOperations>();
    ASSERT_TRUE(RecycleBin(pm, services).addToRecycleBin(pm.mediaFiles()));
    ASSERT_EQ(pm.recycleBin().size(), 1);
    EXPECT_EQ(pm.recycleBin().constFirst().mediaFile.path, tree.volumeLink() + "/Other/b.mov");
}
