#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <cerrno>
#include <optional>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tarnwick::testing {

// The lines a harness's child says to it ("ready", "first", ...) travel on a pipe of their own. The
// child's standard output carries its log, which the log's own thread writes in batches that may
// be larger than a pipe holds: a marker written there can land inside a log line, and a line read
// right after a wait for data may be only part of one.
class ChildMarkers {
public:
    ChildMarkers();
    ~ChildMarkers();
    ChildMarkers(const ChildMarkers&) = delete;
    ChildMarkers& operator=(const ChildMarkers&) = delete;

    // Before the child starts: it inherits the pipe's writing end and finds it in `environment`
    // (which the caller then gives to the child).
    void prepare(QProcess& child, QProcessEnvironment& environment);
    // Once the child started: the pipe then ends when the child does.
    void started();
    // The next whole line, without its '\n'; nothing once the child's end closed (or after the
    // generous timeout, so that a hung child fails the test rather than the run).
    std::optional<QByteArray> nextLine(int timeoutMs = 60000);
    // Reads lines up to `line`; false when the child ended first.
    bool waitFor(const QByteArray& line, int timeoutMs = 60000);

    // In the child: says one line to the harness (on standard output when run by hand).
    static void say(const QByteArray& line);

private:
    int m_read = -1;
    int m_write = -1;
    QByteArray m_buffer;
};

namespace childmarkers {

inline constexpr char kVariable[] = "TARNWICK_TEST_MARKERS_FD";

inline void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace childmarkers

inline ChildMarkers::ChildMarkers() {
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) == 0) {
        m_read = fds[0];
        m_write = fds[1];
    }
}

inline ChildMarkers::~ChildMarkers() {
    childmarkers::closeFd(m_read);
    childmarkers::closeFd(m_write);
}

inline void ChildMarkers::prepare(QProcess& child, QProcessEnvironment& environment) {
    environment.insert(QString::fromLatin1(childmarkers::kVariable), QString::number(m_write));
    // Only this child keeps the end open across exec; other children never see it.
    const int fd = m_write;
    child.setChildProcessModifier([fd] { ::fcntl(fd, F_SETFD, 0); });
}

inline void ChildMarkers::started() {
    childmarkers::closeFd(m_write);
}

inline std::optional<QByteArray> ChildMarkers::nextLine(int timeoutMs) {
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

inline bool ChildMarkers::waitFor(const QByteArray& line, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (const std::optional<QByteArray> next = nextLine(int(deadline.remainingTime()))) {
        if (*next == line)
            return true;
    }
    return false;
}

inline void ChildMarkers::say(const QByteArray& line) {
    bool ok = false;
    const int fd = qEnvironmentVariableIntValue(childmarkers::kVariable, &ok);
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

// The child's log, its standard output and error together, goes to the file at `path`, never to
// the harness's markers; `childLog` reads it back for a failure's message.
inline void logChildTo(QProcess& child, const QString& path) {
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setStandardOutputFile(path);
}

inline std::string childLog(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("(no log)");
}

} // namespace tarnwick::testing
