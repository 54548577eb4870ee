#include "platform/FullWrite.h"

#include <cerrno>
#include <unistd.h>

namespace tarnwick {

bool writeFully(int fd, const char* data, qint64 size, qint64 offset) {
    while (size > 0) {
        const ssize_t n =
            offset < 0 ? ::write(fd, data, size_t(size)) : ::pwrite(fd, data, size_t(size), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
        if (offset >= 0)
            offset += n;
    }
    return true;
}

} // namespace tarnwick
