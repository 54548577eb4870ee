// What a killed Trash run leaves, and the next start's sweep: after the volume came back under other
// numbers, and where the file system has no RENAME_NOREPLACE (a claim or a second link stands for a
// moment in files/).
#include "platform/LeftoverMark.h"
#include "platform/LinuxTrash.h"
#include "platform/PendingTrashInfo.h"

#include "FileMoveTestSupport.h"
#include "support/ChildTemporaries.h"
#include "support/DeadProcess.h"
#include "support/ForeignMark.h"
#include "support/NoAttributeMount.h"
#include "support/ScratchVolume.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarnwick;
using tarnwick::testing::deadPid;
using namespace tarnwick::test;

namespace {

constexpr char kMedia[] = "TARNWICK_TRASH_STOP_MEDIA";
constexpr char kStop[] = "TARNWICK_TRASH_STOP_AT"; // "renamed:N", "noted", "linked" or "claimed"
constexpr char kCalls[] =
    "TARNWICK_TRASH_STOP_CALLS"; // "links": no RENAME_NOREPLACE; "none": no links either

const auto kAll = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

// Sets an environment variable while alive.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_old(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
        qputenv(name, value);
    }
    ~ScopedEnv() { m_old ? qputenv(m_name, *m_old) : qunsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

// The renames of a file system without RENAME_NOREPLACE, with hard links or without; stopped at
// `stop` of the fallback when given.
NoReplaceCalls renameCalls(const QByteArray& calls, std::optional<NoReplaceCalls::Step> stop = std::nullopt) {
    NoReplaceCalls result;
    if (calls.isEmpty())
        return result;
    result.rename = [](const QByteArray&, const QByteArray&) {
        errno = EINVAL;
        return -1;
    };
    if (calls == "none") {
        result.link = [](const QByteArray&, const QByteArray&) {
            errno = EPERM;
            return -1;
        };
    }
    if (stop) {
        result.reached = [step = *stop](NoReplaceCalls::Step reached) {
            if (reached == step)
                ::raise(SIGKILL);
        };
    }
    return result;
}

// Runs the child below on `media`, its home and Trash in `home`; true when it was stopped as asked.
bool runStoppedChild(const QString& home, const QString& media, const QByteArray& stop,
                     const QByteArray& calls = {}) {
    QTemporaryDir temporaries;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kMedia, media);
    environment.insert(kStop, QString::fromLatin1(stop));
    environment.insert(kCalls, QString::fromLatin1(calls));
    environment.insert("HOME", home);
    environment.insert("XDG_DATA_HOME", home + "/data");
    environment.insert("ASAN_OPTIONS", "detect_leaks=0");
    tarnwick::testing::keepChildTemporariesIn(environment, temporaries.path());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.setStandardOutputFile(QProcess::nullDevice());
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=LinuxTrashStopChild.TrashesUntilStopped"});
    return child.waitForStarted(30000) && child.waitForFinished(300000) &&
           child.exitStatus() == QProcess::CrashExit;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// The original path the .trashinfo of `item` names, or nothing.
QString infoOf(const QString& trash, const QString& item) {
    const QByteArray info = readBytes(trash + "/info/" + item + ".trashinfo");
    const qsizetype from = info.indexOf("Path=");
    if (from < 0)
        return {};
    return QFile::decodeName(
        QByteArray::fromPercentEncoding(info.mid(from + 5, info.indexOf('\n', from) - from - 5)));
}

// Every file of `media` (by name) once: in its folder, or in files/ with its info naming it. The
// files whose infos are there.
int expectEachFileOnce(const QString& trash, const QString& media, const QStringList& names) {
    int withInfo = 0;
    for (const QString& name : names) {
        const bool inPlace = QFileInfo::exists(media + '/' + name);
        const bool trashed = QFileInfo::exists(trash + "/files/" + name);
        EXPECT_NE(inPlace, trashed) << qPrintable(name);
        if (trashed) {
            EXPECT_EQ(infoOf(trash, name), media + '/' + name) << "the info of " << qPrintable(name);
            withInfo += infoOf(trash, name) == media + '/' + name ? 1 : 0;
        }
    }
    return withInfo;
}

} // namespace

// The child of the tests below: trashes every file of its media folder, its infos made ahead as a
// run's are, and is stopped by SIGKILL at the step it was given. Does nothing on its own.
TEST(LinuxTrashStopChild, TrashesUntilStopped) {
    const QString media = qEnvironmentVariable(kMedia);
    if (media.isEmpty())
        GTEST_SKIP() << "run by LinuxTrashRemount and LinuxTrashFallbacks only";
    const QByteArray stop = qgetenv(kStop);
    LinuxTrash trash;
    int renamed = 0;
    const int stopAfter = stop.startsWith("renamed:") ? stop.mid(8).toInt() : 0;
    trash.setDurableHook([&](LinuxTrash::Durable what, const QByteArray&) {
        if (what == LinuxTrash::Durable::itemRenamed && ++renamed == stopAfter)
            ::raise(SIGKILL);
    });
    std::optional<NoReplaceCalls::Step> step;
    if (stop == "noted")
        step = NoReplaceCalls::Step::noted;
    else if (stop == "linked")
        step = NoReplaceCalls::Step::linked;
    else if (stop == "claimed")
        step = NoReplaceCalls::Step::claimed;
    trash.setRenameCalls(renameCalls(qgetenv(kCalls), step));
    QStringList paths;
    for (const QString& name : filesIn(media))
        paths.append(media + '/' + name);
    trash.expect(paths);
    for (const QString& path : std::as_const(paths))
        trash.moveToTrash(path);
    trash.expect({});
}

// A remount gives the items in files/ another device number, and on FAT and exFAT other inode
// numbers and times to the volume's step: seen through the marks of a killed run, none of that
// takes an info from its item. Another program's item under the name (another size or time, a
// folder for a file) still never keeps our info.
TEST(LinuxTrashRemount, InfosBesideTheirItemsStayWhateverNumbersAMountGaveThem) {
    QTemporaryDir dir;
    const QString trash = dir.filePath("Trash");
    const leftover::Writer dead{deadPid(), 1, leftover::currentWriter().bootId};
    const auto leave = [&](const QString& name, const QByteArray& subject, const QByteArray& item) {
        ASSERT_TRUE(
            writeBytes(trash + "/info/" + name + ".trashinfo",
                       "[Trash Info]\nPath=/m/" + name.toUtf8() + "\nDeletionDate=2026-12-09T10:00:00\n"));
        ASSERT_TRUE(
            tarnwick::testing::markAsWrittenBy(trash + "/info/" + name + ".trashinfo", dead, subject));
        if (!item.isNull()) {
            ASSERT_TRUE(writeBytes(trash + "/files/" + name, item));
        }
    };
    const auto timeOf = [&](const QString& name, qint64 seconds, long nanoseconds) {
        const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
        ::utimensat(AT_FDCWD, QFile::encodeName(trash + "/files/" + name).constData(), times, 0);
    };
    // Marked by the version before with the device and inode the volume had then.
    leave("renumbered.mov", {}, "media one");
    timeOf("renumbered.mov", 1700000000, 123456789);
    const QByteArray renumbered = "item 64770 " + QByteArray::number(99999) + " 9 1700000000123456789";
    ASSERT_TRUE(
        tarnwick::testing::markAsWrittenBy(trash + "/info/renumbered.mov.trashinfo", dead, renumbered));
    // Marked with the time the run saw; the volume keeps it to 2 s.
    leave("coarse.mov", PendingTrashInfo::markSubject({false, true, 9, 1700000001'250'000'000}), "media two");
    timeOf("coarse.mov", 1700000000, 0);
    // Another program's items under names made ahead: of our size with a time of whole seconds
    // (media copied off a card), which on this folder's clock of fine times is another time.
    leave("whole second.mov", PendingTrashInfo::markSubject({false, true, 9, 1700000001'250'000'000}),
          "media six");
    timeOf("whole second.mov", 1700000004, 0);
    leave("bigger.mov", PendingTrashInfo::markSubject({false, true, 9, 1700000000'000'000'000}),
          "not our media");
    leave("later.mov", PendingTrashInfo::markSubject({false, true, 9, 1700000000'000'000'000}), "its media");
    timeOf("later.mov", 1700000010, 5000);
    leave("folder.mov", PendingTrashInfo::markSubject({false, true, 9, 1700000000'000'000'000}),
          QByteArray());
    QDir().mkpath(trash + "/files/folder.mov");
    ASSERT_TRUE(writeBytes(trash + "/info/.tarnwick-run-killed", leftover::encode({dead, {}})));

    EXPECT_EQ(LinuxTrash::sweepLeftovers(QFile::encodeName(trash)), 4);
    EXPECT_EQ(QDir(trash + "/info").entryList(kAll, QDir::Name),
              (QStringList{"coarse.mov.trashinfo", "renumbered.mov.trashinfo"}));
    EXPECT_EQ(QDir(trash + "/files").entryList(kAll).size(), 6);
    for (const char* name : {"coarse.mov", "renumbered.mov"})
        EXPECT_FALSE(leftover::markOf(QFile::encodeName(trash + "/info/" + name + ".trashinfo"))) << name;
}

// Another program's item of our size took a name a killed run made ahead, its time a whole second
// (media copied off a card keep such times). Where the volume's clock keeps fine times (ext4) that
// time is another item's, and our info goes; where it keeps whole seconds (FAT, whose FUSE driver
// writes a rename's time) only a size tells, and our info stays beside an item of its size. One of
// another size is another item everywhere.
TEST(LinuxTrashRemount, AnItemOfOurSizeWithAWholeSecondTimeIsJudgedByTheVolumesClock) {
    using Kind = tarnwick::testing::ScratchVolume::Kind;
    const std::string skipped = tarnwick::testing::onEachScratchVolume(
        {Kind::ext4, Kind::fat}, [&](tarnwick::testing::ScratchVolume& volume) {
            const bool fat = volume.name() == std::string("FAT");
            const QString trash = volume.path() + "/.Trash-0";
            const leftover::Writer dead{deadPid(), 1, leftover::currentWriter().bootId};
            // The time our item had on this volume: FAT keeps 2 s.
            const qint64 ours = fat ? 1700000002'000'000'000 : 1700000001'250'000'000;
            for (const char* name : {"same size.mov", "other size.mov"}) {
                const QString info = trash + "/info/" + name + ".trashinfo";
                ASSERT_TRUE(writeBytes(info, "[Trash Info]\nPath=media/" + QByteArray(name) +
                                                 "\nDeletionDate=2026-12-09T10:00:00\n"));
                ASSERT_TRUE(tarnwick::testing::markAsWrittenBy(
                    info, dead, PendingTrashInfo::markSubject({false, true, 4096, ours})));
            }
            ASSERT_TRUE(writeBytes(trash + "/files/same size.mov", patternBytes(4096, 1)));
            ASSERT_TRUE(writeBytes(trash + "/files/other size.mov", patternBytes(5000, 2)));
            for (const char* name : {"same size.mov", "other size.mov"}) {
                const struct timespec times[2] = {{1690000000, 0}, {1690000000, 0}};
                ::utimensat(AT_FDCWD, QFile::encodeName(trash + "/files/" + name).constData(), times, 0);
            }
            ASSERT_TRUE(writeBytes(trash + "/info/.tarnwick-run-killed", leftover::encode({dead, {}})));

            LinuxTrash::sweepLeftovers(QFile::encodeName(trash));
            const QString kept = trash + "/info/same size.mov.trashinfo";
            EXPECT_EQ(QFileInfo::exists(kept), fat);
            if (fat) {
                EXPECT_FALSE(leftover::markOf(QFile::encodeName(kept)));
            }
            EXPECT_FALSE(QFileInfo::exists(trash + "/info/other size.mov.trashinfo"));
            EXPECT_EQ(filesIn(trash + "/files").size(), 2);
            std::printf(
                "%s: another program's item of our size with a whole-second time keeps our info: %s\n",
                volume.name(), QFileInfo::exists(kept) ? "yes" : "no");
        });
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

// The same for real: a run killed right after a rename on an ext4, exFAT or FAT volume, which is
// then mounted again (ext4 and exFAT from another loop device). The next start keeps every info
// beside its item, and each file is in one place.
TEST(LinuxTrashRemount, AKilledRunsInfosSurviveTheVolumeMountedAgain) {
    using Kind = tarnwick::testing::ScratchVolume::Kind;
    constexpr int count = 24;
    constexpr int stopAt = 16;
    const std::string skipped = tarnwick::testing::onEachScratchVolume(
        {Kind::ext4, Kind::exfat, Kind::fat}, [&](tarnwick::testing::ScratchVolume& volume) {
            const QString media = volume.path() + "/media";
            const QString trash = volume.path() + "/data/Trash";
            QStringList names;
            for (int i = 0; i < count; ++i) {
                names.append(QStringLiteral("A%1_C001.mov").arg(i, 3, 10, QLatin1Char('0')));
                ASSERT_TRUE(writeBytes(media + '/' + names.last(), patternBytes(1000 + i, i)));
            }
            ASSERT_TRUE(runStoppedChild(volume.path(), media, "renamed:" + QByteArray::number(stopAt)));
            const struct stat before = [&] {
                struct stat st {};
                ::stat(QFile::encodeName(media).constData(), &st);
                return st;
            }();
            if (!volume.remount().empty())
                return;
            struct stat after {};
            ::stat(QFile::encodeName(media).constData(), &after);
            LinuxTrash::sweepLeftovers(QFile::encodeName(trash));
            const int kept = expectEachFileOnce(trash, media, names);
            EXPECT_EQ(kept, stopAt);
            EXPECT_EQ(filesIn(trash + "/files").size(), stopAt);
            std::printf(
                "a run killed after %d renames on %s, mounted again (device %llu → %llu): %d of %d infos "
                "kept beside their items\n",
                stopAt, volume.name(), qulonglong(before.st_dev), qulonglong(after.st_dev), kept,
                int(filesIn(trash + "/files").size()));
        });
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

// Where the file system has no RENAME_NOREPLACE, the rename into files/ claims the name first: a
// second link of the file, or (without hard links) an empty file a plain rename then replaces. A
// run killed between those steps leaves them known as ours: the next sweep takes the second link
// back (the file stays where it was) or the claim, and the info with it; trashed again, the file
// gets its own name, not a numbered one. So does a claim made before its note could say so: the
// info of its name, made ahead by the same run, kept every other program off the name. An empty
// sidecar a kill left goes too.
TEST(LinuxTrashFallbacks, AKillBetweenTheStepsOfARenameLeavesNothingUnknown) {
    QTemporaryDir home;
    const QString media = home.filePath("media");
    const QString trash = home.filePath("data/Trash");
    const ScopedEnv homeVar("HOME", QFile::encodeName(home.path()));
    const ScopedEnv dataVar("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    struct Case {
        const char* calls;
        const char* stop;
        bool claimAfterTheKill = false; // the claim stands, its note still the one made ahead
    };
    for (const Case& c : {Case{"links", "linked"}, Case{"none", "claimed"}, Case{"none", "noted", true}}) {
        SCOPED_TRACE(c.stop);
        ASSERT_TRUE(writeBytes(media + "/clip.mov", patternBytes(5000, 1)));
        ASSERT_TRUE(runStoppedChild(home.path(), media, c.stop, c.calls));
        if (c.claimAfterTheKill) {
            ASSERT_TRUE(QFileInfo::exists(trash + "/info/clip.mov.trashinfo"));
            ASSERT_TRUE(writeBytes(trash + "/files/clip.mov", {}));
        }
        ASSERT_TRUE(QFileInfo::exists(trash + "/files/clip.mov")) << "nothing in files/";
        ASSERT_TRUE(QFileInfo::exists(media + "/clip.mov"));

        EXPECT_GE(LinuxTrash::sweepLeftovers(QFile::encodeName(trash)), 1);
        EXPECT_EQ(readBytes(media + "/clip.mov"), patternBytes(5000, 1));
        EXPECT_TRUE(QDir(trash + "/files").entryList(kAll).isEmpty());
        EXPECT_TRUE(QDir(trash + "/info").entryList(kAll).isEmpty());

        LinuxTrash again;
        again.setRenameCalls(renameCalls(c.calls));
        const TrashOutcome outcome = again.moveToTrash(media + "/clip.mov");
        EXPECT_TRUE(outcome.status) << qPrintable(outcome.status.message);
        EXPECT_EQ(outcome.trashedPath, trash + "/files/clip.mov");
        again.expect({});
        ASSERT_TRUE(QFile::remove(trash + "/files/clip.mov") && QFile::remove(outcome.infoPath));
    }
}

// Without user attributes (FAT, exFAT) an info's mark is a sidecar, which reserves its name before
// the info is made; a kill can leave it empty. It holds no name: the next info takes that name.
// Once stale, the sweep takes it.
TEST(LinuxTrashFallbacks, AnEmptySidecarHoldsNoNameAndGoesOnceStale) {
    const tarnwick::testing::NoAttributeMount mount;
    if (!mount.whyNot().empty())
        GTEST_SKIP() << mount.whyNot();
    const QString info = mount.path() + "/data/Trash/info/";
    ASSERT_TRUE(writeBytes(mount.path() + "/media/clip.mov", "media"));
    ASSERT_TRUE(writeBytes(info + ".clip.mov.trashinfo.tarnwick-mark", {}));
    ASSERT_TRUE(writeBytes(info + ".gone.mov.trashinfo.tarnwick-mark", {}));
    const struct timespec old[2] = {{1700000000, 0}, {1700000000, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(info + ".gone.mov.trashinfo.tarnwick-mark").constData(), old, 0);
    const QByteArray home = QFile::encodeName(mount.path());
    const ScopedEnv homeVar("HOME", home);
    const ScopedEnv dataVar("XDG_DATA_HOME", home + "/data");

    LinuxTrash trash;
    const TrashOutcome outcome = trash.moveToTrash(mount.path() + "/media/clip.mov");
    trash.expect({});
    EXPECT_TRUE(outcome.status) << qPrintable(outcome.status.message);
    EXPECT_EQ(outcome.infoPath, info + "clip.mov.trashinfo");
    EXPECT_EQ(QDir(info).entryList(kAll), QStringList{"clip.mov.trashinfo"});
}
