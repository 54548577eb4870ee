#include "platform/VolumeClock.h"

#include "platform/MountTable.h"

#include <QFile>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tarnwick {

namespace {

constexpr qint64 kSecond = 1'000'000'000;

bool isOneOf(const QString& name, std::initializer_list<const char*> names) {
    for (const char* candidate : names) {
        if (name == QLatin1String(candidate))
            return true;
    }
    return false;
}

// What the boot sector of a FUSE driver's block device says it holds: "exfat", "vfat", "ntfs", or
// nothing. udev's database is read first (no read of the device, which a user seldom may open).
QString blockDeviceType(const QString& source) {
    const QByteArray device = QFile::encodeName(source);
    struct stat st {};
    if (!device.startsWith('/') || ::stat(device.constData(), &st) != 0 || !S_ISBLK(st.st_mode))
        return {};
    QFile udev(QStringLiteral("/run/udev/data/b%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev)));
    if (udev.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : udev.readAll().split('\n')) {
            if (line.startsWith("E:ID_FS_TYPE="))
                return QString::fromLatin1(line.mid(13));
        }
    }
    const int fd = ::open(device.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    unsigned char sector[512];
    const bool read = ::pread(fd, sector, sizeof sector, 0) == ssize_t(sizeof sector);
    ::close(fd);
    if (!read)
        return {};
    if (std::memcmp(sector + 3, "EXFAT   ", 8) == 0)
        return QStringLiteral("exfat");
    if (std::memcmp(sector + 3, "NTFS    ", 8) == 0)
        return QStringLiteral("ntfs");
    if (sector[510] == 0x55 && sector[511] == 0xAA &&
        (std::memcmp(sector + 54, "FAT1", 4) == 0 || std::memcmp(sector + 82, "FAT32", 5) == 0))
        return QStringLiteral("vfat");
    return {};
}

// A file system's own clock; `fuse`: served by a FUSE driver.
VolumeClock clockOfName(const QString& name, bool fuse) {
    if (isOneOf(name, {"vfat", "msdos", "fat", "umsdos", "fusefat"}))
        return {2 * kSecond, true, true};
    if (isOneOf(name, {"exfat", "sdfat", "texfat", "exfat-fuse"}))
        return {fuse || name == QLatin1String("exfat-fuse") ? kSecond : 10'000'000, true, true};
    if (isOneOf(name, {"ntfs", "ntfs3", "ntfs-3g", "lowntfs-3g"}))
        return {100, false, true};
    if (name == QLatin1String("hfs"))
        return {kSecond, true, true};
    if (name == QLatin1String("hfsplus"))
        return {kSecond, false, true};
    if (isOneOf(name, {"ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs", "ramfs", "f2fs", "zfs", "overlay",
                       "jfs", "nilfs2", "bcachefs", "reiserfs", "nfs", "nfs4", "cifs", "smb3", "ceph"}))
        return {0, false, true};
    return {};
}

} // namespace

VolumeClock VolumeClock::ofFileSystem(const QString& type, const QString& source) {
    // FUSE drivers read "fuse.<name>", block ones "fuseblk" or "fuseblk.<name>".
    const qsizetype dot = type.indexOf(QLatin1Char('.'));
    const QString kind = dot < 0 ? type : type.left(dot);
    const bool fuse = kind == QLatin1String("fuse") || kind == QLatin1String("fuseblk");
    if (!fuse)
        return clockOfName(type, false);
    if (dot >= 0)
        return clockOfName(type.mid(dot + 1), true);
    if (kind == QLatin1String("fuseblk")) {
        if (const QString held = blockDeviceType(source); !held.isEmpty())
            return clockOfName(held, true);
        // A block device's FUSE driver serves a removable drive's file system, FAT's kind mostly.
        return {0, true, false};
    }
    return {};
}

VolumeClock VolumeClock::ofPath(const QByteArray& path) {
    QByteArray probe = path;
    struct stat st {};
    while (::stat(probe.constData(), &st) != 0) {
        const qsizetype slash = probe.lastIndexOf('/');
        if (slash < 0 || probe == "/")
            return {};
        probe = slash == 0 ? QByteArray("/") : probe.left(slash);
    }
    const MountTable mounts = MountTable::readCurrent();
    const MountEntry* entry = mounts.entryForDevice(quint64(st.st_dev));
    if (!entry)
        entry = mounts.entryForPath(QFile::decodeName(probe));
    return entry ? ofFileSystem(entry->fileSystemType, entry->source) : VolumeClock{};
}

VolumeClock VolumeClock::orShownBy(qint64 seenNs) const {
    VolumeClock clock = *this;
    if (!known && seenNs % kSecond == 0)
        clock.stepNs = std::max(clock.stepNs, kSecond);
    return clock;
}

} // namespace tarnwick
