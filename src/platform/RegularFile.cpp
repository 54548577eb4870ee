#include "platform/RegularFile.h"

#include "platform/PathText.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

RegularFile::RegularFile(const QString& path) {
    if (path::containsNul(path)) {
        m_error = QStringLiteral("Invalid file name");
        return;
    }
    int fd = -1;
    do {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        m_error = error == ENOENT ? path::undecodableNameReason(path) : QString();
        if (m_error.isEmpty())
            m_error = qt_error_string(error);
        return;
    }
    struct ::stat st {};
    if (::fstat(fd, &st) != 0) {
        m_error = qt_error_string(errno);
        ::close(fd);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        m_error =
            S_ISDIR(st.st_mode) ? QStringLiteral("Is a directory") : QStringLiteral("Not a regular file");
        ::close(fd);
        return;
    }
    // Regular files ignore the flag, but reads stay plain blocking reads either way.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_size = st.st_size;
}

RegularFile::~RegularFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<QByteArray> RegularFile::readAll(qint64 limit) {
    if (m_fd < 0)
        return std::nullopt;
    QByteArray bytes;
    // The size at the open first; a file growing meanwhile is read on to its end.
    qint64 capacity = std::min(std::max<qint64>(m_size, 0), limit) + 1;
    qint64 got = 0;
    for (;;) {
        if (got == capacity) {
            if (got > limit) {
                m_error = QStringLiteral("File too large");
                return std::nullopt;
            }
            capacity = std::min(capacity * 2, limit + 1);
        }
        if (bytes.size() < capacity)
            bytes.resize(static_cast<qsizetype>(capacity));
        const ssize_t n = ::read(m_fd, bytes.data() + got, static_cast<size_t>(capacity - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_error = qt_error_string(errno);
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += n;
    }
    if (got > limit) {
        m_error = QStringLiteral("File too large");
        return std::nullopt;
    }
    bytes.resize(static_cast<qsizetype>(got));
    return bytes;
}

} // namespace tarnwick
