#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <QtGlobal>

namespace tarnwick {

struct MountEntry {
    quint64 device = 0; // as stat(2) reports it in st_dev
    QString mountPoint;
    QString fileSystemType; // "ext4", "cifs", "fuse.sshfs", ...
    QString source;
};

// The mounted file systems, read once per scan, so a check can name the file system of a path
// from the device its existence test already returned.
class MountTable {
public:
    MountTable() = default;
    explicit MountTable(QList<MountEntry> entries);

    // The text of /proc/self/mountinfo; lines that cannot be read are skipped.
    static MountTable fromMountInfo(const QByteArray& text);
    // This process's mount table; empty when it cannot be read.
    static MountTable readCurrent();

    // Null when no entry has this device (the last mounted wins when several do).
    const MountEntry* entryForDevice(quint64 device) const;
    // The entry whose mount point is the longest prefix of `path` (for paths that cannot be stat'ed).
    const MountEntry* entryForPath(const QString& path) const;

    // SMB, NFS, AFS, Ceph, Gluster, Lustre, WebDAV, 9p and network FUSE file systems.
    static bool isNetworkFileSystem(const QString& type);

    const QList<MountEntry>& entries() const { return m_entries; }

private:
    QList<MountEntry> m_entries;
    QHash<quint64, qsizetype> m_byDevice; // the last mounted entry of each device
};

} // namespace tarnwick
