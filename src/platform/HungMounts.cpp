#include "platform/HungMounts.h"

#include "platform/MountTable.h"

#include <QMutexLocker>

#include <algorithm>

namespace tarnwick {

HungMounts::HungMounts(std::shared_ptr<const MountTable> mountTable) : m_mountTable(std::move(mountTable)) {}

bool HungMounts::covers(const QString& path) const {
    if (!m_any.load())
        return false;
    QMutexLocker lock(&m_mutex);
    return std::any_of(m_mountPoints.cbegin(), m_mountPoints.cend(), [&](const QString& mountPoint) {
        return path == mountPoint || path.startsWith(mountPoint + QLatin1Char('/'));
    });
}

bool HungMounts::addMountOf(const QString& path) {
    QMutexLocker lock(&m_mutex);
    if (!m_mountTable)
        m_mountTable = std::make_shared<const MountTable>(MountTable::readCurrent());
    const MountEntry* mount = m_mountTable->entryForPath(path);
    if (!mount || mount->mountPoint == QLatin1String("/") ||
        !MountTable::isNetworkFileSystem(mount->fileSystemType))
        return false;
    if (!m_mountPoints.contains(mount->mountPoint))
        m_mountPoints.append(mount->mountPoint);
    m_any = true;
    return true;
}

} // namespace tarnwick
