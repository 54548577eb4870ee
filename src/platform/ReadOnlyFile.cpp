#include "platform/ReadOnlyFile.h"

#include "platform/PathText.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

// O_NONBLOCK: a FIFO named like a clip must not block the open; regular files ignore it.
ReadOnlyFile::ReadOnlyFile(const QString& path) {
    if (path::containsNul(path))
        return; // the system would open the text before the NUL
    do {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (m_fd < 0 && errno == EINTR);
}

ReadOnlyFile::~ReadOnlyFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

namespace {

// Network file systems return short reads: loop until the count, the end, or an error (-1).
template <typename ReadSome> qint64 readLoop(qint64 count, ReadSome readSome) {
    qint64 total = 0;
    while (total < count) {
        const ssize_t n = readSome(total);
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

} // namespace

qint64 ReadOnlyFile::readFully(char* buffer, qint64 count) {
    return readLoop(count, [&](qint64 done) { return ::read(m_fd, buffer + done, size_t(count - done)); });
}

qint64 ReadOnlyFile::readFullyAt(qint64 offset, char* buffer, qint64 count) {
    return readLoop(count, [&](qint64 done) {
        return ::pread(m_fd, buffer + done, size_t(count - done), off_t(offset + done));
    });
}

std::optional<FileFacts> ReadOnlyFile::facts() const {
    struct ::stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return std::nullopt;
    return fileFactsFromStat(st);
}

void ReadOnlyFile::adviseSequential() {
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void ReadOnlyFile::adviseRandom() {
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_RANDOM);
}

void ReadOnlyFile::adviseWillNeed(qint64 offset, qint64 length) {
    if (m_fd >= 0 && length > 0)
        ::posix_fadvise(m_fd, off_t(offset), off_t(length), POSIX_FADV_WILLNEED);
}

void ReadOnlyFile::dropCachedPages() {
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
}

} // namespace tarnwick
