// Moves onto the FAT and exFAT drives editors archive to: no owner or mode, no hard links, no
// RENAME_NOREPLACE, coarse times, inode numbers made up at each mount.
#include "platform/FileMover.h"
#include "platform/LeftoverSweep.h"
#include "platform/LinuxFileOperations.h"

#include "FileMoveTestSupport.h"
#include "support/AbandonedLeftover.h"
#include "support/ScratchVolume.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const auto kAll = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

void setTimes(const QString& path, qint64 seconds, long nanoseconds) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

qint64 mtimeOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// A move of `source` to `destination` through `steps`, in a process stopped at `step` of the
// no-replace fallback (claimed: the claim holds the name), or when it removes the source.
void moveKilledAt(FileMoveSteps steps, std::optional<NoReplaceCalls::Step> step, const QString& source,
                  const QString& destination) {
    if (step) {
        steps.reachedFallback = [stop = *step](NoReplaceCalls::Step reached) {
            if (reached == stop)
                ::raise(SIGKILL);
        };
    } else {
        steps.removeSourceFile = [](const QByteArray&) {
            ::raise(SIGKILL);
            return -1;
        };
    }
    tarnwick::testing::inKilledChild([&] { FileMover(steps).moveNoReplace(source, destination); });
}

// The next run into the folder sweeps it first, then moves the file again: it lands under its own
// name, the source goes, and nothing of ours is left beside it.
void expectTheRetryFinishes(const FileMoveSteps& steps, const QString& source, const QString& destination,
                            const QByteArray& bytes) {
    LinuxFileOperations files;
    LeftoverSweep::sweepFolder(files, QFileInfo(destination).path());
    EXPECT_TRUE(FileMover(steps).moveNoReplace(source, destination)) << qPrintable(destination);
    EXPECT_EQ(readBytes(destination), bytes);
    EXPECT_FALSE(QFileInfo::exists(source));
}

// A move killed right after the note beside `destination`, before its claim; then the user puts an
// empty file (or folder) there. The next run's sweep keeps it and the source, and a retry refuses the
// name. Whether the user's item was kept.
bool usersItemKeptAfterAKillAtTheNote(const FileMoveSteps& steps, const QString& source,
                                      const QString& destination, bool folder) {
    moveKilledAt(steps, NoReplaceCalls::Step::noted, source, destination);
    EXPECT_FALSE(QFileInfo::exists(destination)) << "claimed before the kill";
    EXPECT_TRUE(folder ? QDir().mkdir(destination) : writeBytes(destination, {}));
    LinuxFileOperations files;
    LeftoverSweep::sweepFolder(files, QFileInfo(destination).path());
    const QFileInfo kept(destination);
    const bool usersKept = kept.exists() && kept.isDir() == folder &&
                           (folder ? QDir(destination).isEmpty(kAll) : kept.size() == 0);
    EXPECT_TRUE(usersKept) << qPrintable(destination);
    EXPECT_TRUE(QFileInfo::exists(source));
    const FileOpStatus retry = FileMover(steps).moveNoReplace(source, destination);
    EXPECT_EQ(retry.code, EEXIST) << qPrintable(retry.message);
    EXPECT_TRUE(QFileInfo::exists(source));
    return usersKept;
}

} // namespace

// Through the moves' steps, as the drivers answer: the files and a container move whole and
// verified, the owner and mode given up; a kill between the claim and the rename over it leaves a
// claim the next run's sweep takes back, so the retry gets the real name; a kill between the copy's
// rename and the original's removal is finished by the retry, whose copy kept its time to 2 s. A
// kill between the note and the claim leaves the name to whoever takes it: a user's empty file or
// folder put there is theirs, not a claim of ours.
TEST(FileMoverOntoFat, KeepsWhatTheVolumeHoldsAndARetryFinishesWhatAKillLeft) {
    QTemporaryDir root;
    const QString from = root.filePath("from");
    const QString to = root.filePath("to");
    QDir().mkpath(to);
    const FileMoveSteps fat = fatLikeSteps();

    ASSERT_TRUE(writeBytes(from + "/a.mov", patternBytes(300000, 1)));
    ::chmod(QFile::encodeName(from + "/a.mov").constData(), 0640);
    setTimes(from + "/a.mov", 1234567891, 500000000);
    ASSERT_TRUE(writeBytes(from + "/A001.RDC/A001_001.R3D", patternBytes(70000, 2)));
    EXPECT_TRUE(FileMover(fat).moveNoReplace(from + "/a.mov", to + "/a.mov"));
    EXPECT_TRUE(FileMover(fat).moveNoReplace(from + "/A001.RDC", to + "/A001.RDC"));
    EXPECT_EQ(readBytes(to + "/a.mov"), patternBytes(300000, 1));
    EXPECT_EQ(mtimeOf(to + "/a.mov"), qint64(1234567890) * 1000000000);
    EXPECT_EQ(readBytes(to + "/A001.RDC/A001_001.R3D"), patternBytes(70000, 2));
    EXPECT_FALSE(QFileInfo::exists(from + "/a.mov") || QFileInfo::exists(from + "/A001.RDC"));

    ASSERT_TRUE(writeBytes(from + "/b.mov", patternBytes(5000, 3)));
    moveKilledAt(fat, NoReplaceCalls::Step::claimed, from + "/b.mov", to + "/b.mov");
    ASSERT_EQ(QFileInfo(to + "/b.mov").size(), 0) << "no claim at the real name";
    expectTheRetryFinishes(fat, from + "/b.mov", to + "/b.mov", patternBytes(5000, 3));

    ASSERT_TRUE(writeBytes(from + "/c.mov", patternBytes(9000, 4)));
    setTimes(from + "/c.mov", 1300000001, 250000000);
    moveKilledAt(fat, std::nullopt, from + "/c.mov", to + "/c.mov");
    ASSERT_EQ(readBytes(to + "/c.mov"), patternBytes(9000, 4));
    ASSERT_TRUE(QFileInfo::exists(from + "/c.mov"));
    expectTheRetryFinishes(fat, from + "/c.mov", to + "/c.mov", patternBytes(9000, 4));

    ASSERT_TRUE(writeBytes(from + "/d.mov", patternBytes(6000, 5)));
    usersItemKeptAfterAKillAtTheNote(fat, from + "/d.mov", to + "/d.mov", false);
    EXPECT_EQ(readBytes(from + "/d.mov"), patternBytes(6000, 5));
    ASSERT_TRUE(writeBytes(from + "/B001.RDC/B001_001.R3D", patternBytes(8000, 6)));
    usersItemKeptAfterAKillAtTheNote(fat, from + "/B001.RDC", to + "/B001.RDC", true);

    EXPECT_EQ(QDir(to).entryList(kAll, QDir::Name),
              (QStringList{"A001.RDC", "B001.RDC", "a.mov", "b.mov", "c.mov", "d.mov"}));
}

// The same on real drives where they can be mounted (their FUSE drivers), the files coming from
// another volume: every move lands, a kill at the claim costs the retry nothing, a user's empty file
// put at a name whose note a kill left (no claim yet) stays, and a move killed after its copy was
// placed is finished by the retry after the volume is mounted again.
TEST(FileMoverOntoFat, OntoRealFatAndExfatVolumes) {
    using Kind = tarnwick::testing::ScratchVolume::Kind;
    // fusefat stops making names in a folder after some hundred made and removed there.
    constexpr int files = 16;
    const std::string skipped = tarnwick::testing::onEachScratchVolume(
        {Kind::fat, Kind::exfat}, [&](tarnwick::testing::ScratchVolume& volume) {
            QTemporaryDir source;
            const QString archive = volume.path() + "/Archive";
            QDir().mkpath(archive);
            int moved = 0;
            for (int i = 0; i < files; ++i) {
                const QString name = QStringLiteral("A%1_C001.mov").arg(i, 3, 10, QLatin1Char('0'));
                ASSERT_TRUE(writeBytes(source.filePath(name), patternBytes(4096 + i, i)));
                const FileOpStatus status =
                    FileOperations::system()->moveNoReplace(source.filePath(name), archive + '/' + name);
                EXPECT_TRUE(status) << qPrintable(name) << ": " << qPrintable(status.message);
                moved += status && readBytes(archive + '/' + name) == patternBytes(4096 + i, i) ? 1 : 0;
            }
            ASSERT_TRUE(writeBytes(source.filePath("claimed.mov"), patternBytes(5000, 7)));
            moveKilledAt(FileMoveSteps::system(), NoReplaceCalls::Step::claimed,
                         source.filePath("claimed.mov"), archive + "/claimed.mov");
            expectTheRetryFinishes(FileMoveSteps::system(), source.filePath("claimed.mov"),
                                   archive + "/claimed.mov", patternBytes(5000, 7));
            ASSERT_TRUE(writeBytes(source.filePath("noted.mov"), patternBytes(6000, 8)));
            const bool kept = usersItemKeptAfterAKillAtTheNote(
                FileMoveSteps::system(), source.filePath("noted.mov"), archive + "/noted.mov", false);
            EXPECT_EQ(readBytes(source.filePath("noted.mov")), patternBytes(6000, 8));
            // A kill after the copy took its name, before the original went. Mounted again, FAT
            // shows the time its driver wrote for the rename, not the one the copy was given: the
            // retry still knows the copy as this move's (its size and bytes) and finishes it.
            const QString placed = source.filePath("placed.mov");
            ASSERT_TRUE(writeBytes(placed, patternBytes(6000, 9)));
            setTimes(placed, 1600000001, 250000000);
            moveKilledAt(FileMoveSteps::system(), std::nullopt, placed, archive + "/placed.mov");
            ASSERT_TRUE(QFileInfo::exists(archive + "/placed.mov") && QFileInfo::exists(placed));
            if (!volume.remount().empty())
                return;
            const qint64 shown = mtimeOf(archive + "/placed.mov") / 1000000000;
            expectTheRetryFinishes(FileMoveSteps::system(), placed, archive + "/placed.mov",
                                   patternBytes(6000, 9));
            EXPECT_EQ(moved, files);
            EXPECT_EQ(QDir(archive).entryList(kAll).size(), files + 3);
            std::printf(
                "moves onto %s: %d of %d moved, a killed claim retried under its own name: %s, a user's "
                "empty file put at a name noted before a kill kept: %s; a move killed after its copy's "
                "rename (copy given 1600000001 s, shown %lld s mounted again) finished: %s\n",
                volume.name(), moved, files, QFileInfo::exists(archive + "/claimed.mov") ? "yes" : "no",
                kept ? "yes" : "no", qlonglong(shown), QFileInfo::exists(placed) ? "no" : "yes");
        });
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}
