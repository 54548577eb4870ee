#include "platform/ChildProcess.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tarnwick {

namespace {

// Through syscall(): Debian 12's <sys/pidfd.h> declares the wrappers without C linkage.
int openPidfd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int signalPidfd(int pidfd, int signal) {
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

QString errnoText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Reads what is available; false at end of stream or on a hard error.
bool readSome(int fd, const ChildProcess::Output& sink) {
    std::array<char, 65536> buffer;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            if (sink)
                sink(buffer.data(), n);
            if (static_cast<size_t>(n) < buffer.size())
                return true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        return false;
    }
}

} // namespace

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        terminate(SIGKILL);
        reap(false);
    }
    closePipes();
}

bool ChildProcess::start(const QString& program, const QStringList& arguments, QString* error) {
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_pid > 0)
        return fail(QStringLiteral("already started"));

    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return fail(errnoText(errno));
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        const int code = errno;
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return fail(errnoText(code));
    }

    const QByteArray programBytes = program.toLocal8Bit();
    std::vector<QByteArray> argBytes;
    argBytes.push_back(programBytes);
    for (const QString& a : arguments)
        argBytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

    // The child starts with default dispositions and nothing blocked, whatever this thread has.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, programBytes.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (spawned != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return fail(errnoText(spawned));
    }

    // Until we reap it the id cannot be reused, so opening the pidfd now is race-free.
    const int pidfd = openPidfd(pid);
    if (pidfd < 0) {
        const int code = errno;
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return fail(QStringLiteral("pidfd_open: ") + errnoText(code));
    }
    {
        std::lock_guard guard(m_lock);
        m_pidfd = pidfd;
        m_pid = pid;
    }
    m_out = outPipe[0];
    m_err = errPipe[0];
    ::fcntl(m_out, F_SETFL, ::fcntl(m_out, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_err, F_SETFL, ::fcntl(m_err, F_GETFL) | O_NONBLOCK);
    return true;
}

bool ChildProcess::terminate(int signal) {
    std::lock_guard guard(m_lock);
    if (m_pidfd < 0)
        return false;
    return signalPidfd(m_pidfd, signal) == 0;
}

ChildExit ChildProcess::waitForExit(const Output& onStdout, const Output& onStderr, int timeoutMs) {
    if (m_pid <= 0)
        return {ChildExit::Kind::failedToStart, 0, QStringLiteral("not started")};
    QElapsedTimer clock;
    clock.start();
    bool exited = false;
    bool timedOut = false;
    while (!exited || m_out >= 0 || m_err >= 0) {
        if (exited) {
            // The child is gone: take what its pipes still hold, but never wait on a grandchild
            // that inherited them.
            if (m_out >= 0)
                readSome(m_out, onStdout);
            if (m_err >= 0)
                readSome(m_err, onStderr);
            break;
        }
        std::array<pollfd, 3> fds{};
        fds[0] = {m_out, POLLIN, 0};
        fds[1] = {m_err, POLLIN, 0};
        {
            std::lock_guard guard(m_lock);
            fds[2] = {m_pidfd, POLLIN, 0};
        }
        int wait = -1;
        if (timeoutMs >= 0 && !timedOut)
            wait = int(std::max<qint64>(0, timeoutMs - clock.elapsed()));
        const int ready = ::poll(fds.data(), fds.size(), wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            timedOut = true;
            terminate(SIGKILL);
            continue;
        }
        if (fds[0].revents && !readSome(m_out, onStdout)) {
            ::close(m_out);
            m_out = -1;
        }
        if (fds[1].revents && !readSome(m_err, onStderr)) {
            ::close(m_err);
            m_err = -1;
        }
        if (fds[2].revents)
            exited = true;
    }
    closePipes();
    return reap(timedOut);
}

ChildExit ChildProcess::run(const QString& program, const QStringList& arguments, const Output& onStdout,
                            const Output& onStderr, int timeoutMs) {
    QString error;
    if (!start(program, arguments, &error))
        return {ChildExit::Kind::failedToStart, 0, error};
    return waitForExit(onStdout, onStderr, timeoutMs);
}

ChildExit ChildProcess::reap(bool timedOut) {
    std::lock_guard guard(m_lock);
    ChildExit result;
    if (m_pidfd < 0)
        return result;
    siginfo_t info{};
    int rc;
    do {
        rc = ::waitid(P_PIDFD, static_cast<id_t>(m_pidfd), &info, WEXITED);
    } while (rc != 0 && errno == EINTR);
    ::close(m_pidfd);
    m_pidfd = -1;
    m_pid = -1;
    if (rc != 0)
        return {ChildExit::Kind::failedToStart, 0, errnoText(errno)};
    if (timedOut)
        return {ChildExit::Kind::timedOut, info.si_status, {}};
    if (info.si_code == CLD_EXITED)
        return {ChildExit::Kind::exited, info.si_status, {}};
    return {ChildExit::Kind::signalled, info.si_status, {}};
}

void ChildProcess::closePipes() {
    if (m_out >= 0)
        ::close(m_out);
    if (m_err >= 0)
        ::close(m_err);
    m_out = m_err = -1;
}

} // namespace tarnwick
