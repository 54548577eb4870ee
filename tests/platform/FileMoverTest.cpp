#include "platform/FileMover.h"
#include "platform/FileMoveSupport.h"
#include "platform/LeftoverMark.h"
#include "platform/LinuxFileOperations.h"

#include "FileMoveTestSupport.h"
#include "support/FileSystemProbes.h"
#include "support/NoAttributeMount.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

struct MoveFolders {
    QTemporaryDir root;
    QString from(const QString& name) const { return root.path() + "/from/" + name; }
    QString to(const QString& name) const { return root.path() + "/to/" + name; }
    MoveFolders() { QDir().mkpath(root.path() + "/to"); }
};

qint64 mtimeSeconds(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mtim.tv_sec;
}

quint32 modeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

void setMtime(const QString& path, qint64 seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

// A small RED-like container: two segments, a sidecar in a subfolder and a link.
void makeContainer(const QString& folder) {
    ASSERT_TRUE(writeBytes(folder + "/A001_C001_001.R3D", patternBytes(300000, 1)));
    ASSERT_TRUE(writeBytes(folder + "/A001_C001_002.R3D", patternBytes(120000, 2)));
    ASSERT_TRUE(writeBytes(folder + "/meta/clip é 素材.rmd", "<clip/>"));
    ASSERT_EQ(::symlink("A001_C001_001.R3D", QFile::encodeName(folder + "/latest").constData()), 0);
    ::chmod(QFile::encodeName(folder + "/A001_C001_002.R3D").constData(), 0640);
    setMtime(folder + "/meta", 1500000000);
    setMtime(folder, 1600000000);
}

void expectContainerAt(const QString& folder) {
    EXPECT_EQ(readBytes(folder + "/A001_C001_001.R3D"), patternBytes(300000, 1));
    EXPECT_EQ(readBytes(folder + "/A001_C001_002.R3D"), patternBytes(120000, 2));
    EXPECT_EQ(readBytes(folder + "/meta/clip é 素材.rmd"), "<clip/>");
    EXPECT_EQ(QFileInfo(folder + "/latest").symLinkTarget(), folder + "/A001_C001_001.R3D");
    EXPECT_EQ(modeOf(folder + "/A001_C001_002.R3D"), 0640u);
    EXPECT_EQ(mtimeSeconds(folder + "/meta"), 1500000000);
    EXPECT_EQ(mtimeSeconds(folder), 1600000000);
}

} // namespace

TEST(FileMoverSameDevice, MovesAndNeverReplaces) {
    MoveFolders dirs;
    ASSERT_TRUE(writeBytes(dirs.from("clip one.mov"), "source"));
    ASSERT_TRUE(writeBytes(dirs.to("taken.mov"), "keep me"));
    ASSERT_TRUE(writeBytes(dirs.from("second.mov"), "second"));
    LinuxFileOperations ops;

    EXPECT_TRUE(ops.moveNoReplace(dirs.from("clip one.mov"), dirs.to("clip one.mov")));
    EXPECT_FALSE(QFileInfo::exists(dirs.from("clip one.mov")));
    EXPECT_EQ(readBytes(dirs.to("clip one.mov")), "source");

    const FileOpStatus refused = ops.moveNoReplace(dirs.from("second.mov"), dirs.to("taken.mov"));
    EXPECT_EQ(refused.code, EEXIST);
    EXPECT_EQ(refused.message, "An item with the same name already exists at the destination");
    EXPECT_EQ(readBytes(dirs.to("taken.mov")), "keep me");
    EXPECT_EQ(readBytes(dirs.from("second.mov")), "second");
}

TEST(FileMoverSameDevice, RefusesBadPathsMissingSourcesAndSpecialFiles) {
    MoveFolders dirs;
    FileMover mover;
    QString withNul = dirs.from("a");
    withNul.append(QChar(u'\0'));
    withNul.append("b");
    EXPECT_EQ(mover.moveNoReplace(withNul, dirs.to("b")).message, "The path contains a NUL character");
    EXPECT_EQ(mover.moveNoReplace(dirs.from("a"), withNul).code, EINVAL);
    EXPECT_EQ(mover.moveNoReplace({}, dirs.to("b")).code, EINVAL);
    EXPECT_EQ(mover.replaceAtomically(withNul, dirs.to("b")).code, EINVAL);
    EXPECT_EQ(mover.moveNoReplace(dirs.from("missing.mov"), dirs.to("missing.mov")).code, ENOENT);

    QDir().mkpath(dirs.root.path() + "/from");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dirs.from("pipe")).constData(), 0600), 0);
    // Across devices a special file is never opened for copying.
    EXPECT_EQ(FileMover(crossDeviceSteps()).moveNoReplace(dirs.from("pipe"), dirs.to("pipe")).code, EPERM);
    EXPECT_FALSE(QFileInfo::exists(dirs.to("pipe")));
}

TEST(FileMoverSameDevice, FallsBackToLinkWhereTheFlagIsMissing) {
    MoveFolders dirs;
    FileMoveSteps steps = FileMoveSteps::system();
    steps.renameNoReplace = [](const QByteArray&, const QByteArray&) {
        errno = EINVAL;
        return -1;
    };
    FileMover mover(steps);
    ASSERT_TRUE(writeBytes(dirs.from("a.mov"), "a"));
    ASSERT_TRUE(writeBytes(dirs.from("b.mov"), "b"));
    ASSERT_TRUE(writeBytes(dirs.to("b.mov"), "existing"));
    makeContainer(dirs.from("A001.RDC"));
    QDir().mkpath(dirs.from("Busy.RDC"));
    ASSERT_TRUE(writeBytes(dirs.to("Busy.RDC/x"), "existing"));

    EXPECT_TRUE(mover.moveNoReplace(dirs.from("a.mov"), dirs.to("a.mov")));
    EXPECT_EQ(readBytes(dirs.to("a.mov")), "a");
    EXPECT_FALSE(QFileInfo::exists(dirs.from("a.mov")));
    EXPECT_EQ(mover.moveNoReplace(dirs.from("b.mov"), dirs.to("b.mov")).code, EEXIST);
    EXPECT_EQ(readBytes(dirs.to("b.mov")), "existing");
    EXPECT_EQ(readBytes(dirs.from("b.mov")), "b");

    EXPECT_TRUE(mover.moveNoReplace(dirs.from("A001.RDC"), dirs.to("A001.RDC")));
    expectContainerAt(dirs.to("A001.RDC"));
    EXPECT_FALSE(mover.moveNoReplace(dirs.from("Busy.RDC"), dirs.to("Busy.RDC")));
    EXPECT_EQ(readBytes(dirs.to("Busy.RDC/x")), "existing");
    EXPECT_TRUE(QFileInfo(dirs.from("Busy.RDC")).isDir());
}

TEST(FileMoverSameDevice, LinkFallbackUndoesTheSecondNameWhenTheSourceStays) {
    MoveFolders dirs;
    FileMoveSteps steps = FileMoveSteps::system();
    steps.renameNoReplace = [](const QByteArray&, const QByteArray&) {
        errno = ENOSYS;
        return -1;
    };
    steps.removeSourceFile = [](const QByteArray&) {
        errno = EROFS;
        return -1;
    };
    ASSERT_TRUE(writeBytes(dirs.from("a.mov"), "a"));
    const FileOpStatus status = FileMover(steps).moveNoReplace(dirs.from("a.mov"), dirs.to("a.mov"));
    EXPECT_EQ(status.code, EROFS);
    EXPECT_EQ(readBytes(dirs.from("a.mov")), "a");
    EXPECT_FALSE(QFileInfo::exists(dirs.to("a.mov")));
}

TEST(FileMoverCopy, KeepsBytesModeAndTimesAndReportsProgress) {
    MoveFolders dirs;
    const QByteArray bytes = patternBytes(20 * 1024 * 1024 + 17);
    ASSERT_TRUE(writeBytes(dirs.from("Day 1/A001.mov"), bytes));
    ::chmod(QFile::encodeName(dirs.from("Day 1/A001.mov")).constData(), 0604);
    setMtime(dirs.from("Day 1/A001.mov"), 1234567890);
    qint64 lastDone = -1;
    qint64 lastTotal = -1;
    int calls = 0;
    const FileOpProgress progress = [&](qint64 done, qint64 total) {
        EXPECT_GT(done, lastDone);
        lastDone = done;
        lastTotal = total;
        ++calls;
    };

    EXPECT_TRUE(FileMover(crossDeviceSteps())
                    .moveNoReplace(dirs.from("Day 1/A001.mov"), dirs.to("A001.mov"), progress));
    EXPECT_EQ(readBytes(dirs.to("A001.mov")), bytes);
    EXPECT_EQ(modeOf(dirs.to("A001.mov")), 0604u);
    EXPECT_EQ(mtimeSeconds(dirs.to("A001.mov")), 1234567890);
    EXPECT_FALSE(QFileInfo::exists(dirs.from("Day 1/A001.mov")));
    EXPECT_GE(calls, 2);
    EXPECT_EQ(lastDone, bytes.size());
    EXPECT_EQ(lastTotal, bytes.size());
    EXPECT_TRUE(temporaryLeftovers(dirs.root.path()).isEmpty());
}

TEST(FileMoverCopy, CopiesAContainerFileByFileAndALink) {
    MoveFolders dirs;
    makeContainer(dirs.from("A001.RDC"));
    ASSERT_EQ(::symlink("/nowhere/clip.mov", QFile::encodeName(dirs.from("link.mov")).constData()), 0);
    FileMover mover(crossDeviceSteps());
    qint64 lastDone = 0;
    qint64 lastTotal = 0;
    EXPECT_TRUE(
        mover.moveNoReplace(dirs.from("A001.RDC"), dirs.to("A001.RDC"), [&](qint64 done, qint64 total) {
            lastDone = done;
            lastTotal = total;
        }));
    expectContainerAt(dirs.to("A001.RDC"));
    EXPECT_FALSE(QFileInfo::exists(dirs.from("A001.RDC")));
    EXPECT_EQ(lastTotal, 300000 + 120000 + 7);
    EXPECT_EQ(lastDone, lastTotal);

    EXPECT_TRUE(mover.moveNoReplace(dirs.from("link.mov"), dirs.to("link.mov")));
    EXPECT_EQ(QFileInfo(dirs.to("link.mov")).symLinkTarget(), "/nowhere/clip.mov");
    EXPECT_FALSE(QFileInfo(dirs.from("link.mov")).isSymLink());
    EXPECT_TRUE(temporaryLeftovers(dirs.root.path()).isEmpty());
}

TEST(FileMoverCopy, FullDiskOrReadErrorLeavesNoPartialCopyAndTheSourceIntact) {
    for (const int errorCode : {ENOSPC, EIO}) {
        SCOPED_TRACE(errorCode);
        MoveFolders dirs;
        const QByteArray bytes = patternBytes(3 * 1024 * 1024 + 5);
        ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), bytes));
        makeContainer(dirs.from("A001.RDC"));
        FileMoveSteps steps = crossDeviceSteps();
        failCopyAfter(steps, 2 * 1024 * 1024 + 1, errorCode, 64 * 1024);
        FileMover mover(steps);

        const FileOpStatus file = mover.moveNoReplace(dirs.from("A001.mov"), dirs.to("A001.mov"));
        EXPECT_EQ(file.code, errorCode);
        EXPECT_EQ(file.message, filemove::describeErrno(errorCode));
        EXPECT_FALSE(QFileInfo::exists(dirs.to("A001.mov")));
        EXPECT_EQ(readBytes(dirs.from("A001.mov")), bytes);

        FileMoveSteps folderSteps = crossDeviceSteps();
        failCopyAfter(folderSteps, 350000, errorCode, 4096);
        EXPECT_EQ(FileMover(folderSteps).moveNoReplace(dirs.from("A001.RDC"), dirs.to("A001.RDC")).code,
                  errorCode);
        EXPECT_FALSE(QFileInfo::exists(dirs.to("A001.RDC")));
        expectContainerAt(dirs.from("A001.RDC"));
        EXPECT_TRUE(temporaryLeftovers(dirs.root.path()).isEmpty());
    }
}

TEST(FileMoverCopy, ASourceThatShrinksMidCopyFails) {
    MoveFolders dirs;
    ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), patternBytes(100000)));
    FileMoveSteps steps = crossDeviceSteps();
    const auto real = steps.copyChunk;
    const QString source = dirs.from("A001.mov");
    steps.copyChunk = [&, real](int from, int to, qint64 count) -> qint64 {
        ::truncate(QFile::encodeName(source).constData(), 10);
        return real(from, to, count);
    };
    const FileOpStatus status = FileMover(steps).moveNoReplace(source, dirs.to("A001.mov"));
    EXPECT_FALSE(status);
    EXPECT_FALSE(QFileInfo::exists(dirs.to("A001.mov")));
    EXPECT_TRUE(QFileInfo::exists(source));
    EXPECT_TRUE(temporaryLeftovers(dirs.root.path()).isEmpty());
}

TEST(FileMoverCopy, ADestinationCreatedBeforeTheFinalRenameIsNeverOverwritten) {
    MoveFolders dirs;
    ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), "mine"));
    makeContainer(dirs.from("A001.RDC"));
    FileMoveSteps steps = crossDeviceSteps();
    steps.beforeFinalRename = [](const QString& destination) {
        if (destination.endsWith(".RDC"))
            writeBytes(destination + "/other", "theirs");
        else
            writeBytes(destination, "theirs");
    };
    FileMover mover(steps);

    EXPECT_EQ(mover.moveNoReplace(dirs.from("A001.mov"), dirs.to("A001.mov")).code, EEXIST);
    EXPECT_EQ(readBytes(dirs.to("A001.mov")), "theirs");
    EXPECT_EQ(readBytes(dirs.from("A001.mov")), "mine");

    EXPECT_FALSE(mover.moveNoReplace(dirs.from("A001.RDC"), dirs.to("A001.RDC")));
    EXPECT_EQ(readBytes(dirs.to("A001.RDC/other")), "theirs");
    EXPECT_FALSE(QFileInfo::exists(dirs.to("A001.RDC/A001_C001_001.R3D")));
    expectContainerAt(dirs.from("A001.RDC"));
    EXPECT_TRUE(temporaryLeftovers(dirs.root.path()).isEmpty());
}

TEST(FileMoverCopy, ASourceThatCannotBeRemovedKeepsBothCopies) {
    MoveFolders dirs;
    ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), "bytes"));
    makeContainer(dirs.from("A001.RDC"));
    FileMoveSteps steps = crossDeviceSteps();
    steps.removeSourceFile = [](const QByteArray&) {
        errno = EACCES;
        return -1;
    };
    FileMover mover(steps);

    const FileOpStatus status = mover.moveNoReplace(dirs.from("A001.mov"), dirs.to("A001.mov"));
    EXPECT_EQ(status.code, EACCES);
    EXPECT_EQ(status.message,
              "Copied to the destination, but the original could not be removed: Permission denied");
    EXPECT_EQ(readBytes(dirs.from("A001.mov")), "bytes");
    EXPECT_EQ(readBytes(dirs.to("A001.mov")), "bytes");

    EXPECT_EQ(mover.moveNoReplace(dirs.from("A001.RDC"), dirs.to("A001.RDC")).code, EACCES);
    expectContainerAt(dirs.from("A001.RDC"));
    expectContainerAt(dirs.to("A001.RDC"));
}

// A move interrupted after its copy is in `root` and before the source went: the retry only
// removes the source, where nothing but the moved file is left; an identical file that is not our
// copy is never taken for one.
void expectARetryOnlyRemovesTheSource(const QString& root) {
    MoveFolders dirs;
    const QByteArray bytes = patternBytes(70000);
    ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), bytes));
    FileMoveSteps interrupted = FileMoveSteps::system();
    interrupted.removeSourceFile = [](const QByteArray&) {
        errno = EINTR;
        return -1;
    };
    const QString target = root + "/A001.mov";
    ASSERT_FALSE(FileMover(interrupted).moveNoReplace(dirs.from("A001.mov"), target));
    ASSERT_TRUE(QFileInfo::exists(dirs.from("A001.mov")));

    EXPECT_TRUE(FileMover().moveNoReplace(dirs.from("A001.mov"), target));
    EXPECT_FALSE(QFileInfo::exists(dirs.from("A001.mov")));
    EXPECT_EQ(readBytes(target), bytes);
    const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    EXPECT_EQ(QDir(root).entryList(all), QStringList{"A001.mov"});

    ASSERT_TRUE(writeBytes(dirs.from("B.mov"), bytes));
    ASSERT_TRUE(writeBytes(root + "/B.mov", bytes));
    EXPECT_EQ(FileMover().moveNoReplace(dirs.from("B.mov"), root + "/B.mov").code, EEXIST);
    EXPECT_TRUE(QFileInfo::exists(dirs.from("B.mov")));
}

TEST(FileMoverCopy, RetryingAnInterruptedMoveOnlyRemovesTheSource) {
    TmpfsMount mount;
    if (!mount.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    // The retry knows its copy by the source the copy names in a user attribute.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, mount.path());
    expectARetryOnlyRemovesTheSource(mount.path());
}

// Where the file system keeps no user attributes (FAT, exFAT) a note beside the copy names its
// source: a retry finishes the move rather than leave a numbered second copy, and the note goes.
TEST(FileMoverCopy, RetryingAnInterruptedMoveWithoutUserAttributesOnlyRemovesTheSource) {
    const tarnwick::testing::NoAttributeMount mount;
    if (!mount.whyNot().empty())
        GTEST_SKIP() << mount.whyNot();
    expectARetryOnlyRemovesTheSource(mount.path());
}

// Every temporary copy (file, folder, link) names its writer and its source while it is one, and
// the finished item carries no mark.
TEST(FileMoverCopy, TemporariesAreMarkedUntilTheyBecomeTheRealItem) {
    MoveFolders dirs;
    // Elsewhere every temporary's mark is a sidecar beside it.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, dirs.to(QString()));
    ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), "bytes"));
    makeContainer(dirs.from("A001.RDC"));
    ASSERT_EQ(::symlink("A001.mov", QFile::encodeName(dirs.from("link.mov")).constData()), 0);
    FileMoveSteps steps = crossDeviceSteps();
    QList<std::optional<leftover::Mark>> marks;
    steps.beforeFinalRename = [&](const QString& destination) {
        // The temporary first, then the sidecar a link's mark needs (links keep no user attributes).
        const QStringList temporaries = FileMover::temporariesIn(QFileInfo(destination).path());
        ASSERT_EQ(temporaries.size(), destination.endsWith("link.mov") ? 2 : 1);
        marks.append(leftover::markOf(QFile::encodeName(temporaries[0])));
    };
    FileMover mover(steps);
    for (const QString name : {"A001.mov", "A001.RDC", "link.mov"}) {
        ASSERT_TRUE(mover.moveNoReplace(dirs.from(name), dirs.to(name)));
        EXPECT_FALSE(leftover::markOf(QFile::encodeName(dirs.to(name)))) << qPrintable(name);
    }
    ASSERT_EQ(marks.size(), 3);
    for (const auto& mark : marks) {
        ASSERT_TRUE(mark);
        EXPECT_EQ(mark->writer, leftover::currentWriter());
    }
    EXPECT_EQ(marks[0]->subject, QFile::encodeName(dirs.from("A001.mov")));
    EXPECT_EQ(marks[1]->subject, QFile::encodeName(dirs.from("A001.RDC")));
    EXPECT_TRUE(FileMover::temporariesIn(dirs.root.path() + "/to").isEmpty());
}

// A folder move stopped while the source was being removed leaves a complete copy and part of
// the source; the retry removes the rest of the source instead of failing on the taken name.
TEST(FileMoverCopy, RetryingAnInterruptedFolderMoveFinishesIt) {
    MoveFolders dirs;
    // The retry knows its copy by the source the copy names in a user attribute.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, dirs.to(QString()));
    makeContainer(dirs.from("A001.RDC"));
    FileMoveSteps interrupted = crossDeviceSteps();
    auto removals = std::make_shared<int>(0);
    const auto realRemove = interrupted.removeSourceFile;
    interrupted.removeSourceFile = [removals, realRemove](const QByteArray& path) {
        if (++*removals > 2) {
            errno = EINTR;
            return -1;
        }
        return realRemove(path);
    };
    ASSERT_FALSE(FileMover(interrupted).moveNoReplace(dirs.from("A001.RDC"), dirs.to("A001.RDC")));
    ASSERT_TRUE(QFileInfo::exists(dirs.from("A001.RDC")));

    // Someone's file added to what is left of the source: not in the copy, so nothing is removed.
    ASSERT_TRUE(writeBytes(dirs.from("A001.RDC/new.R3D"), "new"));
    EXPECT_EQ(FileMover(crossDeviceSteps()).moveNoReplace(dirs.from("A001.RDC"), dirs.to("A001.RDC")).code,
              EEXIST);
    EXPECT_EQ(readBytes(dirs.from("A001.RDC/new.R3D")), "new");
    ASSERT_TRUE(QFile::remove(dirs.from("A001.RDC/new.R3D")));

    EXPECT_TRUE(FileMover(crossDeviceSteps()).moveNoReplace(dirs.from("A001.RDC"), dirs.to("A001.RDC")));
    EXPECT_FALSE(QFileInfo::exists(dirs.from("A001.RDC")));
    expectContainerAt(dirs.to("A001.RDC"));
    EXPECT_FALSE(leftover::markOf(QFile::encodeName(dirs.to("A001.RDC"))));

    // A like folder that is not our copy is never taken for one.
    makeContainer(dirs.from("B.RDC"));
    makeContainer(dirs.to("B.RDC"));
    EXPECT_EQ(FileMover(crossDeviceSteps()).moveNoReplace(dirs.from("B.RDC"), dirs.to("B.RDC")).code, EEXIST);
    expectContainerAt(dirs.from("B.RDC"));
}

// Stopped after the source was removed but before the copy stopped naming it: the retry reports
// the move done; a missing source without such a copy is still a failure.
TEST(FileMoverCopy, AMoveStoppedAfterRemovingTheSourceCountsAsDone) {
    MoveFolders dirs;
    // The retry knows its copy by the source the copy names in a user attribute.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, dirs.to(QString()));
    ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), "bytes"));
    FileMoveSteps stopped = crossDeviceSteps();
    stopped.removeSourceFile = [](const QByteArray& path) {
        ::unlink(path.constData());
        errno = EINTR;
        return -1;
    };
    ASSERT_FALSE(FileMover(stopped).moveNoReplace(dirs.from("A001.mov"), dirs.to("A001.mov")));
    ASSERT_FALSE(QFileInfo::exists(dirs.from("A001.mov")));

    EXPECT_TRUE(FileMover(crossDeviceSteps()).moveNoReplace(dirs.from("A001.mov"), dirs.to("A001.mov")));
    EXPECT_EQ(FileMover(crossDeviceSteps()).moveNoReplace(dirs.from("A001.mov"), dirs.to("A001.mov")).code,
              ENOENT);
    EXPECT_EQ(readBytes(dirs.to("A001.mov")), "bytes");
}

TEST(FileMoverCopy, CancelRollsBackTheFileInFlight) {
    MoveFolders dirs;
    const QByteArray bytes = patternBytes(256 * 1024);
    ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), bytes));
    makeContainer(dirs.from("A001.RDC"));
    FileMoveSteps steps = crossDeviceSteps();
    failCopyAfter(steps, qint64(1) << 40, 0, 4096);
    FileMover mover(steps);
    std::atomic_bool cancel = false;
    const FileOpProgress cancelOnFirst = [&](qint64, qint64) { cancel = true; };

    const FileOpStatus file =
        mover.moveNoReplace(dirs.from("A001.mov"), dirs.to("A001.mov"), cancelOnFirst, &cancel);
    EXPECT_EQ(file.code, ECANCELED);
    EXPECT_FALSE(QFileInfo::exists(dirs.to("A001.mov")));
    EXPECT_EQ(readBytes(dirs.from("A001.mov")), bytes);

    cancel = false;
    EXPECT_EQ(mover.moveNoReplace(dirs.from("A001.RDC"), dirs.to("A001.RDC"), cancelOnFirst, &cancel).code,
              ECANCELED);
    EXPECT_FALSE(QFileInfo::exists(dirs.to("A001.RDC")));
    expectContainerAt(dirs.from("A001.RDC"));
    EXPECT_TRUE(temporaryLeftovers(dirs.root.path()).isEmpty());
}

TEST(FileMoverCopy, AcrossARealMount) {
    TmpfsMount mount;
    if (!mount.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    MoveFolders dirs;
    const QByteArray bytes = patternBytes(5 * 1024 * 1024 + 3);
    ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), bytes));
    setMtime(dirs.from("A001.mov"), 1300000000);
    makeContainer(dirs.from("A001.RDC"));
    LinuxFileOperations ops;

    EXPECT_TRUE(ops.moveNoReplace(dirs.from("A001.mov"), mount.path() + "/A001.mov"));
    EXPECT_EQ(readBytes(mount.path() + "/A001.mov"), bytes);
    EXPECT_EQ(mtimeSeconds(mount.path() + "/A001.mov"), 1300000000);
    EXPECT_FALSE(QFileInfo::exists(dirs.from("A001.mov")));
    EXPECT_TRUE(ops.moveNoReplace(dirs.from("A001.RDC"), mount.path() + "/A001.RDC"));
    expectContainerAt(mount.path() + "/A001.RDC");
    EXPECT_FALSE(QFileInfo::exists(dirs.from("A001.RDC")));

    // Back again onto an existing name: refused, both untouched.
    ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), "existing"));
    EXPECT_EQ(ops.moveNoReplace(mount.path() + "/A001.mov", dirs.from("A001.mov")).code, EEXIST);
    EXPECT_EQ(readBytes(mount.path() + "/A001.mov"), bytes);
    EXPECT_EQ(readBytes(dirs.from("A001.mov")), "existing");
    EXPECT_TRUE(temporaryLeftovers(mount.path()).isEmpty());
}

TEST(FileMoverCopy, AFullRealMountLeavesNothingBehind) {
    TmpfsMount mount("1m");
    if (!mount.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    MoveFolders dirs;
    const QByteArray bytes = patternBytes(3 * 1024 * 1024);
    ASSERT_TRUE(writeBytes(dirs.from("A001.mov"), bytes));
    const FileOpStatus status =
        LinuxFileOperations().moveNoReplace(dirs.from("A001.mov"), mount.path() + "/A001.mov");
    EXPECT_EQ(status.code, ENOSPC);
    EXPECT_TRUE(
        QDir(mount.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_EQ(readBytes(dirs.from("A001.mov")), bytes);
}

TEST(FileMoverReplace, SwapsTheContentAtomicallyAndRefusesFolders) {
    MoveFolders dirs;
    ASSERT_TRUE(writeBytes(dirs.to("A001.mov"), "old"));
    ASSERT_TRUE(writeBytes(dirs.to("A001_transcoding.mov"), "new"));
    LinuxFileOperations ops;
    ::chmod(QFile::encodeName(dirs.to("A001.mov")).constData(), 0640);
    ::chmod(QFile::encodeName(dirs.to("A001_transcoding.mov")).constData(), 0600);
    EXPECT_TRUE(ops.replaceAtomically(dirs.to("A001_transcoding.mov"), dirs.to("A001.mov")));
    EXPECT_EQ(readBytes(dirs.to("A001.mov")), "new");
    EXPECT_EQ(modeOf(dirs.to("A001.mov")), 0640u);
    EXPECT_FALSE(QFileInfo::exists(dirs.to("A001_transcoding.mov")));

    QDir().mkpath(dirs.to("folder.mov"));
    ASSERT_TRUE(writeBytes(dirs.to("B.mov"), "b"));
    EXPECT_EQ(ops.replaceAtomically(dirs.to("B.mov"), dirs.to("folder.mov")).code, EISDIR);
    EXPECT_EQ(ops.replaceAtomically(dirs.to("folder.mov"), dirs.to("B.mov")).code, EINVAL);
    EXPECT_EQ(ops.replaceAtomically(dirs.to("gone.mov"), dirs.to("B.mov")).code, ENOENT);
    EXPECT_EQ(readBytes(dirs.to("B.mov")), "b");
}
