#pragma once

#include "platform/AppLog.h"
#include "platform/LeftoverMark.h"
#include "platform/LeftoverSweep.h"

#include <QFile>
#include <QString>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnwick::testing {

// Runs `work` in a child process that is killed with SIGKILL by `work` itself or right after it.
// The log's writer is idle first: a child forked while another thread holds a lock of the allocator
// or the output would wait on it for good. Should it hang all the same, it is killed and the test
// fails rather than wait.
inline void inKilledChild(const std::function<void()>& work) {
    AppLog::flush();
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        work();
        ::raise(SIGKILL);
    }
    // Its end wakes the poll on its descriptor; two minutes without it is a hang.
    const int pidfd = int(::syscall(SYS_pidfd_open, child, 0));
    pollfd ended{pidfd, POLLIN, 0};
    const bool hung = pidfd >= 0 && ::poll(&ended, 1, 120000) == 0;
    if (pidfd >= 0)
        ::close(pidfd);
    if (hung)
        ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_FALSE(hung) << "the forked child hung for 2 minutes";
    ASSERT_TRUE(WIFSIGNALED(status));
}

// A transcode output at `path` as a killed run leaves it: ours, marked for `markedName` (its own
// name, unless it was renamed into place before its mark came off), its writer gone.
inline void leaveAbandonedTranscodeOutput(const QString& path, const QString& markedName) {
    inKilledChild([&] {
        const QByteArray native = QFile::encodeName(path);
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 && ::write(fd, "partial", 7) == 7)
            leftover::mark(native, fd, LeftoverSweep::transcodeSubject({1, 2, 3, 4}, markedName));
    });
}

} // namespace tarnwick::testing
