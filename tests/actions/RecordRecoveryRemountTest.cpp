// The start decides a killed run's steps by what stands at each place (a Trash step by what stands
// in the Trash), on a volume mounted again between the kill and the start, under another time zone
// too.
#include "actions/RecordRecovery.h"

#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/LinuxTrash.h"
#include "support/ScratchVolume.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

using namespace tarnwick;
using Kind = tarnwick::testing::ScratchVolume::Kind;

namespace {

struct Planned {
    JournalRun run;
    QSet<int> stepped; // the items whose step took place before the kill
};

bool writeFile(const QString& path, qint64 size, char fill) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, fill)) == size;
}

// A copy of `path`'s item, its bytes and time, put at `path` again (a user's restore from a backup).
bool putBack(const QString& path, const struct stat& was) {
    if (!writeFile(path, qint64(was.st_size), 'x'))
        return false;
    const struct timespec times[2] = {was.st_atim, was.st_mtim};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// A run of `kind` over eight files of `folder`; every third one's step took place (moved into the
// Trash, deleted, or moved into the archive `elsewhere`), the others were never touched. After a
// Trash run's kill the user saved over an untouched file (a new file of another size renamed over
// it, as editors save) and put a copy of a trashed one back at its path: the Trash, not the path,
// tells those apart.
Planned killedRun(RecordKind kind, const QString& folder, const QString& elsewhere) {
    Planned planned;
    planned.run.id = QStringLiteral("run-%1").arg(int(kind));
    planned.run.kind = kind;
    QDir().mkpath(folder);
    QDir().mkpath(elsewhere);
    LinuxTrash trash;
    for (int i = 0; i < 8; ++i) {
        const QString name = QStringLiteral("clip %1.mov").arg(i);
        const QString path = folder + '/' + name;
        EXPECT_TRUE(writeFile(path, 1000 + i, 'x'));
        JournalRun::Item item;
        item.seq = i;
        item.record.target = path;
        item.record.identity = FileOperations::system()->status(path).identity();
        if (kind == RecordKind::move)
            item.record.destination = elsewhere + '/' + name;
        struct stat was {};
        ::lstat(QFile::encodeName(path).constData(), &was);
        if (i % 3 == 0) {
            planned.stepped.insert(i);
            if (kind == RecordKind::deletion)
                EXPECT_TRUE(QFile::remove(path));
            else if (kind == RecordKind::trash)
                EXPECT_TRUE(trash.moveToTrash(path).status) << qPrintable(path);
            else
                EXPECT_TRUE(QFile::rename(path, elsewhere + '/' + name));
        }
        if (kind == RecordKind::trash && i == 1) {
            EXPECT_TRUE(writeFile(path + ".saving", 700, 'y') &&
                        ::rename(QFile::encodeName(path + ".saving").constData(),
                                 QFile::encodeName(path).constData()) == 0)
                << "saved over";
        }
        if (kind == RecordKind::trash && i == 3) {
            EXPECT_TRUE(putBack(path, was)) << "put back";
        }
        planned.run.items.append(item);
    }
    trash.expect({});
    return planned;
}

// Seconds by which the volume's times moved from `before` to now for `path`.
qint64 movedBy(const QString& path, qint64 beforeSeconds) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return qint64(st.st_mtim.tv_sec) - beforeSeconds;
}

// Kills a Trash, a deletion and a move on `volume` (in `tag`'s folders), mounts it again with its
// driver in `zone`, and decides the runs: only the files that went are recorded. The counts, with
// what the remount did to the volume's times.
void decideAfterRemount(tarnwick::testing::ScratchVolume& volume, const QString& tag, const QString& zone) {
    QList<Planned> runs;
    for (const RecordKind recordKind : {RecordKind::trash, RecordKind::deletion, RecordKind::move}) {
        const QString run = QStringLiteral("/%1 run %2").arg(tag).arg(int(recordKind));
        runs.append(killedRun(recordKind, volume.path() + run, volume.path() + run + " elsewhere"));
    }
    const QString probe = volume.path() + '/' + tag + " probe";
    EXPECT_TRUE(writeFile(probe, 1, 'p'));
    const qint64 probeTime = QFileInfo(probe).lastModified().toSecsSinceEpoch();
    if (!volume.remount(zone).empty())
        return;
    // FAT's driver turned its local times with the zone's offset (tzdata installed, another zone
    // than the first mount's): proven here, else the remount only gave new numbers.
    const qint64 moved = movedBy(probe, probeTime);
    if (!zone.isEmpty() && volume.name() == std::string("FAT")) {
        EXPECT_EQ(moved % (15 * 60), 0);
        if (moved == 0)
            std::printf("FAT under %s: the times did not move (no tzdata here?)\n", qPrintable(zone));
    }
    int inPlace = 0;
    int recordedInPlace = 0;
    int went = 0;
    int recordedGone = 0;
    for (Planned& planned : runs) {
        RecordRecovery::decide(planned.run, *FileOperations::system());
        for (const JournalRun::Item& item : std::as_const(planned.run.items)) {
            const bool stepped = planned.stepped.contains(item.seq);
            const bool recorded = item.state == JournalRun::State::done;
            EXPECT_EQ(recorded, stepped) << qPrintable(item.record.target);
            (stepped ? went : inPlace) += 1;
            (stepped ? recordedGone : recordedInPlace) += recorded ? 1 : 0;
        }
    }
    std::printf("%s mounted again%s (times moved by %llds): %d of %d files still in place recorded as gone, "
                "%d of %d that went recorded\n",
                volume.name(), zone.isEmpty() ? "" : qPrintable(" under " + zone), qlonglong(moved),
                recordedInPlace, inPlace, recordedGone, went);
}

} // namespace

// A Trash, a deletion and a move killed halfway on an ext4, exFAT or FAT volume, which is then
// mounted again (ext4 and exFAT from another loop device: another device number; FAT and exFAT with
// other inode numbers), and again with its FUSE driver under a time zone 5:45 off UTC: FAT keeps
// local time, so its times then move by whole quarter hours. Only the files that went are recorded.
TEST(RecordRecoveryRemount, OnlyTheFilesThatWentAreRecordedAfterTheVolumeIsMountedAgain) {
    AppLog::setSink([](const AppLog::Record&) {});
    const std::string skipped = tarnwick::testing::onEachScratchVolume(
        {Kind::ext4, Kind::exfat, Kind::fat}, [&](tarnwick::testing::ScratchVolume& volume) {
            decideAfterRemount(volume, QStringLiteral("plain"), {});
            if (volume.whyNot().empty())
                decideAfterRemount(volume, QStringLiteral("zoned"), QStringLiteral("Asia/Kathmandu"));
        });
    AppLog::setSink({});
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

// A Trash step is decided by the Trash, whatever stands at the path now: a file the user saved over
// after the kill (another size) never went, and a trashed one whose copy was put back at its path
// did. Here through the home Trash on the temporary folder's volume (the test above does it on the
// scratch volumes' own Trash).
TEST(RecordRecoveryTrash, ATrashStepIsDecidedByWhatTheTrashHolds) {
    AppLog::setSink([](const AppLog::Record&) {});
    QTemporaryDir home;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    const auto restore = qScopeGuard([&] {
        dataHome.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", dataHome);
        AppLog::setSink({});
    });
    Planned planned = killedRun(RecordKind::trash, home.filePath("media"), home.filePath("elsewhere"));
    ASSERT_EQ(QDir(home.filePath("data/Trash/files")).entryList(QDir::Files).size(), planned.stepped.size());
    RecordRecovery::decide(planned.run, *FileOperations::system());
    for (const JournalRun::Item& item : std::as_const(planned.run.items))
        EXPECT_EQ(item.state == JournalRun::State::done, planned.stepped.contains(item.seq))
            << qPrintable(item.record.target);
    EXPECT_EQ(QFileInfo(home.filePath("media/clip 1.mov")).size(), 700) << "saved over";
    EXPECT_TRUE(QFileInfo::exists(home.filePath("media/clip 3.mov"))) << "put back";
}
