#include "platform/MountTable.h"

#include "platform/Immortal.h"

#include <QFile>
#include <QSet>

#include <sys/sysmacros.h>

namespace tarnwick {

namespace {

// mountinfo writes space, tab, newline and backslash as "\ooo".
QString unescapeOctal(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QFile::decodeName(out);
}

std::optional<MountEntry> parseLine(const QByteArray& line) {
    const QList<QByteArray> fields = line.simplified().split(' ');
    // id parent major:minor root mountpoint options [optional...] - type source superoptions
    const qsizetype separator = fields.indexOf("-");
    if (fields.size() < 7 || separator < 6 || separator + 2 >= fields.size())
        return std::nullopt;
    const QList<QByteArray> majorMinor = fields[2].split(':');
    if (majorMinor.size() != 2)
        return std::nullopt;
    bool majorOk = false;
    bool minorOk = false;
    const uint major = majorMinor[0].toUInt(&majorOk);
    const uint minor = majorMinor[1].toUInt(&minorOk);
    if (!majorOk || !minorOk)
        return std::nullopt;
    MountEntry entry;
    entry.device = makedev(major, minor);
    entry.mountPoint = unescapeOctal(fields[4]);
    entry.fileSystemType = unescapeOctal(fields[separator + 1]);
    entry.source = unescapeOctal(fields[separator + 2]);
    return entry;
}

bool isUnderMountPoint(const QString& path, const QString& mountPoint) {
    if (mountPoint == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == mountPoint || (path.startsWith(mountPoint) && path.size() > mountPoint.size() &&
                                  path[mountPoint.size()] == QLatin1Char('/'));
}

} // namespace

MountTable::MountTable(QList<MountEntry> entries) : m_entries(std::move(entries)) {
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        m_byDevice.insert(m_entries[i].device, i);
}

MountTable MountTable::fromMountInfo(const QByteArray& text) {
    QList<MountEntry> entries;
    for (const QByteArray& line : text.split('\n')) {
        if (auto entry = parseLine(line))
            entries.append(std::move(*entry));
    }
    return MountTable(std::move(entries));
}

MountTable MountTable::readCurrent() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A proc file reports no size: read until the end.
    return fromMountInfo(file.readAll());
}

const MountEntry* MountTable::entryForDevice(quint64 device) const {
    const auto it = m_byDevice.constFind(device);
    return it == m_byDevice.constEnd() ? nullptr : &m_entries[it.value()];
}

const MountEntry* MountTable::entryForPath(const QString& path) const {
    const MountEntry* best = nullptr;
    for (const MountEntry& entry : m_entries) {
        if (isUnderMountPoint(path, entry.mountPoint) &&
            (!best || entry.mountPoint.size() >= best->mountPoint.size()))
            best = &entry;
    }
    return best;
}

bool MountTable::isNetworkFileSystem(const QString& type) {
    // Asked from workers a watchdog may abandon: the sets outlive static destruction.
    static const Immortal<QSet<QString>> kernelTypes(QSet<QString>{
        QStringLiteral("cifs"), QStringLiteral("smb3"), QStringLiteral("smbfs"), QStringLiteral("nfs"),
        QStringLiteral("nfs4"), QStringLiteral("afs"), QStringLiteral("ceph"), QStringLiteral("glusterfs"),
        QStringLiteral("lustre"), QStringLiteral("davfs"), QStringLiteral("9p")});
    static const Immortal<QSet<QString>> fuseTypes(
        QSet<QString>{QStringLiteral("sshfs"), QStringLiteral("rclone"), QStringLiteral("s3fs"),
                      QStringLiteral("gvfsd-fuse"), QStringLiteral("davfs2"), QStringLiteral("smbnetfs"),
                      QStringLiteral("glusterfs")});
    if (kernelTypes.get().contains(type))
        return true;
    // FUSE mounts read "fuse.<name>" (or "fuseblk"); the name is what tells.
    if (type.startsWith(QLatin1String("fuse.")))
        return fuseTypes.get().contains(type.mid(5));
    return fuseTypes.get().contains(type);
}

} // namespace tarnwick
