#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <sys/types.h>

namespace tarnwick {

// How a child ended.
struct ChildExit {
    enum class Kind { exited, signalled, timedOut, failedToStart };
    Kind kind = Kind::failedToStart;
    int code = 0;       // exit code, or the signal number when signalled
    QString startError; // why it could not start

    // A normal exit with code 0 is the only success.
    bool succeeded() const { return kind == Kind::exited && code == 0; }
};

// One external program run with an argument list (never a shell), standard input /dev/null and
// both output streams read through pipes while it runs.
//
// terminate() may be called from any thread at any time, also before start() or after the child
// was reaped: it signals through a pidfd, so it can never hit a process that reused the id.
class ChildProcess {
public:
    using Output = std::function<void(const char* data, qsizetype size)>;

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` (an absolute path). False with `error` set when it cannot be started.
    bool start(const QString& program, const QStringList& arguments, QString* error = nullptr);
    // Reads both pipes to their end while the child runs, then reaps it. A timeout (ms, -1 for none)
    // kills the child with SIGKILL and reports timedOut. Callbacks run on the calling thread.
    ChildExit waitForExit(const Output& onStdout, const Output& onStderr, int timeoutMs = -1);
    // Sends `signal` (SIGTERM by default) when the child is still running; false otherwise.
    bool terminate(int signal = 15);
    // Convenience: start + waitForExit.
    ChildExit run(const QString& program, const QStringList& arguments, const Output& onStdout,
                  const Output& onStderr, int timeoutMs = -1);

    pid_t pid() const { return m_pid; }

private:
    void closePipes();
    ChildExit reap(bool timedOut);

    std::mutex m_lock; // guards m_pidfd against a concurrent terminate()
    int m_pidfd = -1;
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

} // namespace tarnwick
