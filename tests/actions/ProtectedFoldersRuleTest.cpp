#include "actions/ProtectedFolderTest.h"
#include "platform/LinuxFileOperations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarnwick;

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
