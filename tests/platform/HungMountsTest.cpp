#include "platform/HungMounts.h"

#include "platform/MountTable.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(HungMounts, WritesOffOnlyTheNetworkMountWhereSomethingHung) {
    HungMounts hung(std::make_shared<const MountTable>(
        QList<MountEntry>{{1, QStringLiteral("/"), QStringLiteral("ext4"), {}},
                          {2, QStringLiteral("/home"), QStringLiteral("ext4"), {}},
                          {3, QStringLiteral("/mnt/nas"), QStringLiteral("nfs4"), {}}}));
    EXPECT_FALSE(hung.covers(QStringLiteral("/mnt/nas/a.mov")));
    // A local disk, or the root, is never written off: the hang may have been elsewhere.
    EXPECT_FALSE(hung.addMountOf(QStringLiteral("/home/me/a.mov")));
    EXPECT_FALSE(hung.addMountOf(QStringLiteral("/data/a.mov")));
    EXPECT_FALSE(hung.covers(QStringLiteral("/home/me/b.mov")));

    EXPECT_TRUE(hung.addMountOf(QStringLiteral("/mnt/nas/day1/a.mov")));
    EXPECT_TRUE(hung.covers(QStringLiteral("/mnt/nas/day2/b.mov")));
    EXPECT_TRUE(hung.covers(QStringLiteral("/mnt/nas")));
    EXPECT_FALSE(hung.covers(QStringLiteral("/mnt/nasty/b.mov")));
    EXPECT_FALSE(hung.covers(QStringLiteral("/home/me/b.mov")));
}
