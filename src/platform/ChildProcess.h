#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
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

// The one way this program runs another: an argument list (never a shell), standard input
// /dev/null and both output streams read through pipes while it runs.
//
// Children die with the app: each is started with a parent-death signal (SIGKILL), from a thread
// that lives as long as the process (the signal fires when the thread that forked exits), and a
// ChildProcess that goes out of scope kills and reaps its child.
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

    // The child gets `fd` (still owned by the caller) as descriptor `childFd` (3 or above), so it
    // writes into a file the caller created rather than opening one by name. Before start().
    void inheritDescriptor(int fd, int childFd);

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
    int m_inherited = -1;
    int m_inheritedAs = -1;
};

// How a short-lived helper child (ffprobe, a frame from ffmpeg) ended.
struct ChildResult {
    bool started = false;
    bool timedOut = false; // killed after its time limit
    bool crashed = false;  // ended by a signal
    int exitCode = -1;
    QByteArray output; // the captured stream, read to its end
};

enum class ChildCapture { nothing, standardOutput, standardError };

// Runs `program` with `arguments` and waits for it, at most `limit`: a child still running then
// (a dead share, a broken file) is killed so that later work is not held up behind it. The stream
// not captured is read and dropped.
ChildResult runChild(const QString& program, const QStringList& arguments, ChildCapture capture,
                     std::chrono::milliseconds limit);

} // namespace tarnwick
