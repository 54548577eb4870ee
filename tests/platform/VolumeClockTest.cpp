// A volume's clock as its file system keeps it, and the times a file may show on it after a remount.
#include "platform/VolumeClock.h"
#include "platform/SameFile.h"

#include "support/ScratchVolume.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

constexpr qint64 kSecond = 1'000'000'000;
constexpr qint64 kMinute = 60 * kSecond;

} // namespace

// FAT keeps local time to 2 s, exFAT local time to 10 ms (whole seconds from its FUSE driver), the
// others UTC: a time moved by whole quarter hours up to the 26 hours between UTC-12 and UTC+14 is
// the same time on FAT, and nowhere else; where the type tells nothing, a whole-second time a mark
// recorded shows a clock of whole seconds.
TEST(VolumeClock, FatKeepsLocalTimeSoAZoneChangeMovesNothingThere) {
    for (const char* type : {"vfat", "msdos", "fuse.fusefat"}) {
        const VolumeClock fat = VolumeClock::ofFileSystem(QString::fromLatin1(type));
        EXPECT_TRUE(fat.known && fat.localTime && fat.stepNs == 2 * kSecond) << type;
    }
    EXPECT_EQ(VolumeClock::ofFileSystem(QStringLiteral("exfat")).stepNs, 10'000'000);
    EXPECT_EQ(VolumeClock::ofFileSystem(QStringLiteral("fuseblk.exfat")).stepNs, kSecond);
    const VolumeClock ext4 = VolumeClock::ofFileSystem(QStringLiteral("ext4"));
    EXPECT_TRUE(ext4.known && !ext4.localTime && !ext4.orShownBy(1700000000 * kSecond).wholeSeconds());
    const VolumeClock share = VolumeClock::ofFileSystem(QStringLiteral("fuse.sshfs"));
    EXPECT_FALSE(share.known || share.wholeSeconds());
    EXPECT_TRUE(share.orShownBy(1700000000 * kSecond).wholeSeconds());
    EXPECT_FALSE(share.orShownBy(1700000000 * kSecond + 5000).wholeSeconds());

    const VolumeClock fat = VolumeClock::ofFileSystem(QStringLiteral("vfat"));
    const qint64 t = 1700000002 * kSecond;
    for (const qint64 moved : {60 * kMinute, -(5 * 60 + 45) * kMinute, 30 * kMinute, 26 * 60 * kMinute,
                               60 * kMinute + 2 * kSecond, -2 * kSecond}) {
        EXPECT_TRUE(sameModifiedTime(t, t + moved, fat)) << moved;
        EXPECT_FALSE(sameModifiedTime(t, t + moved, ext4)) << moved;
    }
    for (const qint64 moved : {7 * kMinute, 27 * 60 * kMinute, 60 * kMinute + 4 * kSecond, 10 * kSecond})
        EXPECT_FALSE(sameModifiedTime(t, t + moved, fat)) << moved;
    const FileIdentity then{1, 2, 100, t};
    FileOpInfo now;
    now.kind = FileKind::regular;
    now.size = 100;
    now.modifiedNs = t + 60 * kMinute;
    EXPECT_TRUE(isSameFileAfterRemount(then, now, fat));
    EXPECT_FALSE(isSameFileAfterRemount(then, now, ext4));
}

// What the mount table really shows for the FUSE drivers here: "fuse.fusefat" for FAT, "fuseblk"
// for exFAT, told by its device.
TEST(VolumeClock, TheFuseDriversVolumesAreKnownFromTheMountTable) {
    using Kind = tarnwick::testing::ScratchVolume::Kind;
    const std::string skipped = tarnwick::testing::onEachScratchVolume(
        {Kind::fat, Kind::exfat, Kind::ext4}, [&](tarnwick::testing::ScratchVolume& volume) {
            const VolumeClock clock = VolumeClock::ofPath(QFile::encodeName(volume.path() + "/no such file"));
            const std::string kind = volume.name();
            EXPECT_TRUE(clock.known);
            EXPECT_EQ(clock.localTime, kind != "ext4");
            EXPECT_EQ(clock.stepNs, kind == "FAT" ? 2 * kSecond : kind == "exFAT" ? kSecond : 0);
        });
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}
