#include "platform/ReadOnlyFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

// O_NONBLOCK: a FIFO named like a clip must not block the open; regular files ignore it.
ReadOnlyFile::ReadOnlyFile(const QString& path) {
    do {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (m_fd < 0 && errno == EINTR);
}

ReadOnlyFile::~ReadOnlyFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

qint64 ReadOnlyFile::readFully(char* buffer, qint64 count) {
    qint64 total = 0;
    while (total < count) {
        const ssize_t n = ::read(m_fd, buffer + total, size_t(count - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

qint64 ReadOnlyFile::readFullyAt(qint64 offset, char* buffer, qint64 count) {
    qint64 total = 0;
    while (total < count) {
        const ssize_t n = ::pread(m_fd, buffer + total, size_t(count - total), off_t(offset + total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

std::optional<FileFacts> ReadOnlyFile::facts() const {
    struct ::stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return std::nullopt;
    FileFacts facts;
    facts.device = st.st_dev;
    facts.inode = st.st_ino;
    facts.size = st.st_size;
    facts.isDirectory = S_ISDIR(st.st_mode);
    facts.isRegularFile = S_ISREG(st.st_mode);
    return facts;
}

void ReadOnlyFile::adviseSequential() {
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void ReadOnlyFile::adviseRandom() {
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_RANDOM);
}

void ReadOnlyFile::dropCachedPages() {
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
}

} // namespace tarnwick
