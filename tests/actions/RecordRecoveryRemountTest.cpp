// The start decides a killed run's steps by what stands at each place, on a volume mounted again
// between the kill and the start.
#include "actions/RecordRecovery.h"

#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "support/ScratchVolume.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <cstdio>

using namespace tarnwick;

namespace {

struct Planned {
    JournalRun run;
    QSet<int> stepped; // the items whose step took place before the kill
};

// A run of `kind` over eight files of `folder`; every third one's step took place (trashed into a
// folder of the volume, deleted, or moved into the archive), the others were never touched.
Planned killedRun(RecordKind kind, const QString& folder, const QString& elsewhere) {
    Planned planned;
    planned.run.id = QStringLiteral("run-%1").arg(int(kind));
    planned.run.kind = kind;
    QDir().mkpath(folder);
    QDir().mkpath(elsewhere);
    for (int i = 0; i < 8; ++i) {
        const QString name = QStringLiteral("clip %1.mov").arg(i);
        QFile file(folder + '/' + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(1000 + i, 'x')) == 1000 + i);
        file.close();
        JournalRun::Item item;
        item.seq = i;
        item.record.target = file.fileName();
        item.record.identity = FileOperations::system()->status(file.fileName()).identity();
        if (kind == RecordKind::move)
            item.record.destination = elsewhere + '/' + name;
        if (i % 3 == 0) {
            planned.stepped.insert(i);
            if (kind == RecordKind::deletion)
                EXPECT_TRUE(QFile::remove(file.fileName()));
            else
                EXPECT_TRUE(QFile::rename(file.fileName(), elsewhere + '/' + name));
        }
        planned.run.items.append(item);
    }
    return planned;
}

} // namespace

// A Trash, a deletion and a move killed halfway on an ext4, exFAT or FAT volume, which is then
// mounted again (ext4 and exFAT from another loop device: another device number; FAT and exFAT with
// other inode numbers). Only the files that went are recorded.
TEST(RecordRecoveryRemount, OnlyTheFilesThatWentAreRecordedAfterTheVolumeIsMountedAgain) {
    using Kind = tarnwick::testing::ScratchVolume::Kind;
    AppLog::setSink([](const AppLog::Record&) {});
    const std::string skipped = tarnwick::testing::onEachScratchVolume(
        {Kind::ext4, Kind::exfat, Kind::fat}, [&](tarnwick::testing::ScratchVolume& volume) {
            QList<Planned> runs;
            for (const RecordKind recordKind : {RecordKind::trash, RecordKind::deletion, RecordKind::move}) {
                const QString run = QStringLiteral("/run %1").arg(int(recordKind));
                runs.append(killedRun(recordKind, volume.path() + run, volume.path() + run + " elsewhere"));
            }
            if (!volume.remount().empty())
                return;
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
            std::printf(
                "%s mounted again: %d of %d files still in place recorded as gone, %d of %d that went "
                "recorded\n",
                volume.name(), recordedInPlace, inPlace, recordedGone, went);
        });
    AppLog::setSink({});
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}
