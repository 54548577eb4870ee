#include "platform/VolumeCapacity.h"

#include <QFile>

#include <sys/statvfs.h>

namespace tarnwick {

std::optional<qint64> availableCapacity(const QString& folder) {
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0)
        return std::nullopt;
    if (info.f_frsize == 0 && info.f_bsize == 0)
        return std::nullopt;
    const unsigned long long unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    const unsigned long long bytes = static_cast<unsigned long long>(info.f_bavail) * unit;
    constexpr unsigned long long maxBytes = 0x7fffffffffffffffULL;
    return static_cast<qint64>(bytes > maxBytes ? maxBytes : bytes);
}

} // namespace tarnwick
