#include "platform/UnnamedFileLink.h"

#include <QString>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tarnwick {

int linkUnnamedFile(int fd, const QByteArray& path) {
    // The descriptor itself needs a capability most processes lack; once refused, /proc for good.
    static std::atomic_bool byDescriptor{true};
    if (byDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", AT_FDCWD, path.constData(), AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != EPERM && errno != ENOENT && errno != EINVAL)
            return errno;
        byDescriptor.store(false, std::memory_order_relaxed);
    }
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                                    : errno;
}

} // namespace tarnwick
