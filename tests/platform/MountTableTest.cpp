#include "platform/MountTable.h"

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

using namespace tarnwick;

namespace {

const QByteArray sampleMountInfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "40 22 0:45 / /mnt/nas rw,relatime shared:20 - cifs //nas/media rw,vers=3.0\n"
    "41 22 0:46 / /media/me/My\\040Drive rw,nosuid - fuse.sshfs me@host:/srv rw\n"
    "42 22 0:47 / /home/me/.cache/doc rw master:3 - fuse.portal portal rw\n"
    "43 40 0:48 / /mnt/nas/deeper rw - nfs4 srv:/x rw\n"
    "garbage line without separator\n"
    "44 22 0:49 /sub /srv/bind rw - ext4 /dev/sdb1 rw\n";

} // namespace

TEST(MountTable, ReadsDevicesMountPointsAndTypesFromMountInfo) {
    const MountTable table = MountTable::fromMountInfo(sampleMountInfo);
    ASSERT_EQ(table.entries().size(), 6);
    const MountEntry* nas = table.entryForDevice(makedev(0, 45));
    ASSERT_NE(nas, nullptr);
    EXPECT_EQ(nas->mountPoint, QStringLiteral("/mnt/nas"));
    EXPECT_EQ(nas->fileSystemType, QStringLiteral("cifs"));
    EXPECT_EQ(nas->source, QStringLiteral("//nas/media"));
    // Octal escapes in mount points are decoded.
    const MountEntry* drive = table.entryForDevice(makedev(0, 46));
    ASSERT_NE(drive, nullptr);
    EXPECT_EQ(drive->mountPoint, QStringLiteral("/media/me/My Drive"));
    EXPECT_EQ(table.entryForDevice(makedev(9, 9)), nullptr);
}

TEST(MountTable, FindsTheLongestMountPointHoldingAPath) {
    const MountTable table = MountTable::fromMountInfo(sampleMountInfo);
    EXPECT_EQ(table.entryForPath(QStringLiteral("/mnt/nas/deeper/a.mov"))->fileSystemType,
              QStringLiteral("nfs4"));
    EXPECT_EQ(table.entryForPath(QStringLiteral("/mnt/nas/a.mov"))->fileSystemType, QStringLiteral("cifs"));
    // "/mnt/nasty" is not under "/mnt/nas".
    EXPECT_EQ(table.entryForPath(QStringLiteral("/mnt/nasty/a.mov"))->mountPoint, QStringLiteral("/"));
    EXPECT_EQ(table.entryForPath(QStringLiteral("/mnt/nas"))->mountPoint, QStringLiteral("/mnt/nas"));
    EXPECT_EQ(MountTable().entryForPath(QStringLiteral("/a")), nullptr);
}

TEST(MountTable, TellsNetworkFileSystemsApart) {
    for (const char* type : {"cifs", "smb3", "smbfs", "nfs", "nfs4", "afs", "ceph", "glusterfs", "lustre",
                             "davfs", "9p", "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.gvfsd-fuse",
                             "fuse.davfs2", "fuse.smbnetfs", "sshfs"})
        EXPECT_TRUE(MountTable::isNetworkFileSystem(QString::fromLatin1(type))) << type;
    for (const char* type :
         {"ext4", "btrfs", "xfs", "tmpfs", "overlay", "fuse.portal", "fuseblk", "vfat", "NFS"})
        EXPECT_FALSE(MountTable::isNetworkFileSystem(QString::fromLatin1(type))) << type;
}

TEST(MountTable, ReadsThisProcessMountTable) {
    const MountTable table = MountTable::readCurrent();
    ASSERT_FALSE(table.entries().isEmpty());
    // Inside a chroot no listed mount point need be "/", so look up one the table itself lists.
    const QString mountPoint = table.entries().constLast().mountPoint;
    const MountEntry* found = table.entryForPath(mountPoint);
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(mountPoint.startsWith(found->mountPoint)) << mountPoint.toStdString();
}
