#include "platform/ChildProcess.h"

#include "platform/Immortal.h"
#include "platform/ThreadNames.h"

#include <QElapsedTimer>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
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

// Everything the child needs, prepared before the fork: the child itself only makes system calls.
// Every descriptor is 10 or above, so putting one in place never overwrites another.
struct SpawnPlan {
    const char* program = nullptr;
    char* const* argv = nullptr;
    char* const* envp = nullptr;
    int input = -1;  // becomes 0
    int output = -1; // becomes 1
    int errors = -1; // becomes 2
    int inherited = -1;
    int inheritedAs = -1;
    pid_t parent = 0;
};

// The child side of vfork: it shares the parent's memory, so it writes nothing but `execError`.
[[noreturn]] void execChild(const SpawnPlan& plan, volatile int* execError) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The app died before the signal was armed: nobody would kill this child later.
    if (::getppid() != plan.parent)
        ::_exit(127);
    if (::dup2(plan.input, 0) < 0 || ::dup2(plan.output, 1) < 0 || ::dup2(plan.errors, 2) < 0 ||
        (plan.inherited >= 0 && ::dup2(plan.inherited, plan.inheritedAs) < 0)) {
        *execError = errno;
        ::_exit(127);
    }
    // Default dispositions (also for what the app ignores, such as SIGPIPE), then nothing blocked:
    // the kernel's own sigaction layout, all zero, is SIG_DFL with no flags and an empty mask.
    const std::array<unsigned long, 4> defaults{};
    for (int s = 1; s < 65; ++s)
        ::syscall(SYS_rt_sigaction, s, defaults.data(), nullptr, sizeof(unsigned long));
    const unsigned long none = 0;
    ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, sizeof none);
    ::execve(plan.program, plan.argv, plan.envp);
    *execError = errno;
    ::_exit(127);
}

// vfork: the calling thread waits until the child has called execve or _exit.
__attribute__((noinline)) pid_t forkAndExec(const SpawnPlan* plan, volatile int* execError) {
    const pid_t pid = ::vfork();
    if (pid == 0)
        execChild(*plan, execError);
    return pid;
}

// The thread that forks every child. The parent-death signal fires when the thread that forked
// exits, not the process: a pool thread that retires would take its children with it. This one
// lives as long as the process and has every signal blocked, so no handler runs in a child.
class Spawner {
public:
    static Spawner& instance() {
        static Immortal<Spawner> spawner;
        return spawner.get();
    }

    // The child's pid, or -errno.
    pid_t spawn(const SpawnPlan& plan) {
        std::lock_guard caller(m_callers);
        std::unique_lock lock(m_lock);
        m_plan = &plan;
        m_done = false;
        m_wake.notify_all();
        m_wake.wait(lock, [this] { return m_done; });
        m_plan = nullptr;
        return m_result;
    }

    Spawner() {
        std::thread([this] {
            nameCurrentThread("ChildSpawner");
            loop();
        }).detach();
    }

private:
    void loop() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        std::unique_lock lock(m_lock);
        for (;;) {
            m_wake.wait(lock, [this] { return m_plan != nullptr && !m_done; });
            m_result = forkPlan(*m_plan);
            m_done = true;
            m_wake.notify_all();
        }
    }

    static pid_t forkPlan(const SpawnPlan& plan) {
        volatile int execError = 0;
        const pid_t pid = forkAndExec(&plan, &execError);
        if (pid < 0)
            return -errno;
        if (execError != 0) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            return -execError;
        }
        return pid;
    }

    std::mutex m_callers; // one spawn at a time
    std::mutex m_lock;
    std::condition_variable m_wake;
    const SpawnPlan* m_plan = nullptr;
    bool m_done = false;
    pid_t m_result = -1;
};

// A copy of `fd` numbered 10 or above, closed on exec.
int highCopy(int fd) {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
}

class Descriptors {
public:
    ~Descriptors() {
        for (int fd : m_fds)
            if (fd >= 0)
                ::close(fd);
    }
    int keep(int fd) {
        m_fds.push_back(fd);
        return fd;
    }

private:
    std::vector<int> m_fds;
};

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

void ChildProcess::inheritDescriptor(int fd, int childFd) {
    m_inherited = fd;
    m_inheritedAs = childFd;
}

bool ChildProcess::start(const QString& program, const QStringList& arguments, QString* error) {
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_pid > 0)
        return fail(QStringLiteral("already started"));
    if (m_inherited >= 0 && m_inheritedAs < 3)
        return fail(QStringLiteral("an inherited descriptor must be 3 or above"));

    Descriptors parentSide; // closed when start() returns, whatever happens
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return fail(errnoText(errno));
    parentSide.keep(outPipe[1]);
    const int outRead = outPipe[0];
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        const int code = errno;
        ::close(outRead);
        return fail(errnoText(code));
    }
    parentSide.keep(errPipe[1]);
    const int errRead = errPipe[0];
    auto failClosing = [&](const QString& text) {
        ::close(outRead);
        ::close(errRead);
        return fail(text);
    };

    SpawnPlan plan;
    plan.input = parentSide.keep(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (plan.input >= 0)
        plan.input = parentSide.keep(highCopy(plan.input));
    plan.output = parentSide.keep(highCopy(outPipe[1]));
    plan.errors = parentSide.keep(highCopy(errPipe[1]));
    if (m_inherited >= 0) {
        plan.inherited = parentSide.keep(highCopy(m_inherited));
        plan.inheritedAs = m_inheritedAs;
    }
    if (plan.input < 0 || plan.output < 0 || plan.errors < 0 || (m_inherited >= 0 && plan.inherited < 0))
        return failClosing(errnoText(errno));

    const QByteArray programBytes = program.toLocal8Bit();
    std::vector<QByteArray> argBytes;
    argBytes.push_back(programBytes);
    for (const QString& a : arguments)
        argBytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    plan.program = programBytes.constData();
    plan.argv = argv.data();
    plan.envp = environ;
    plan.parent = ::getpid();

    const pid_t pid = Spawner::instance().spawn(plan);
    if (pid < 0)
        return failClosing(errnoText(-pid));

    // Until we reap it the id cannot be reused, so opening the pidfd now is race-free.
    const int pidfd = openPidfd(pid);
    if (pidfd < 0) {
        const int code = errno;
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return failClosing(QStringLiteral("pidfd_open: ") + errnoText(code));
    }
    {
        std::lock_guard guard(m_lock);
        m_pidfd = pidfd;
        m_pid = pid;
    }
    m_out = outRead;
    m_err = errRead;
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

ChildResult runChild(const QString& program, const QStringList& arguments, ChildCapture capture,
                     std::chrono::milliseconds limit) {
    ChildResult result;
    const auto keep = [&](const char* d, qsizetype n) { result.output.append(d, n); };
    ChildProcess child;
    const ChildExit exit = child.run(
        program, arguments, capture == ChildCapture::standardOutput ? ChildProcess::Output(keep) : nullptr,
        capture == ChildCapture::standardError ? ChildProcess::Output(keep) : nullptr,
        int(std::min<qint64>(limit.count(), std::numeric_limits<int>::max())));
    result.started = exit.kind != ChildExit::Kind::failedToStart;
    result.timedOut = exit.kind == ChildExit::Kind::timedOut;
    result.crashed = exit.kind == ChildExit::Kind::signalled;
    result.exitCode = exit.kind == ChildExit::Kind::exited ? exit.code : -1;
    return result;
}

} // namespace tarnwick
