#include "ChildMarkers.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tarnwick::testing {

namespace {

constexpr char kVariable[] = "TARNWICK_TEST_MARKERS_FD";

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

ChildMarkers::ChildMarkers() {
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) == 0) {
        m_read = fds[0];
        m_write = fds[1];
    }
}

ChildMarkers::~ChildMarkers() {
    closeFd(m_read);
    closeFd(m_write);
}

void ChildMarkers::prepare(QProcess& child, QProcessEnvironment& environment) {
    environment.insert(QString::fromLatin1(kVariable), QString::number(m_write));
    // Only this child keeps the end open across exec; other children never see it.
    const int fd = m_write;
    child.setChildProcessModifier([fd] { ::fcntl(fd, F_SETFD, 0); });
}

void ChildMarkers::started() {
    closeFd(m_write);
}

std::optional<QByteArray> ChildMarkers::nextLine(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0) {
            QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            return line;
        }
        pollfd readable{m_read, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        char chunk[4096];
        const ssize_t n = ::read(m_read, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt; // the child's end closed: a part of a line is no line
        m_buffer.append(chunk, n);
    }
}

bool ChildMarkers::waitFor(const QByteArray& line, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (const std::optional<QByteArray> next = nextLine(int(deadline.remainingTime()))) {
        if (*next == line)
            return true;
    }
    return false;
}

void ChildMarkers::say(const QByteArray& line) {
    bool ok = false;
    const int fd = qEnvironmentVariableIntValue(kVariable, &ok);
    const QByteArray bytes = line + '\n';
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    // One write of a short line: a pipe takes it whole.
    while (left > 0) {
        const ssize_t n = ::write(ok ? fd : STDOUT_FILENO, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        left -= n;
    }
}

} // namespace tarnwick::testing
