#pragma once

#include "platform/AppLog.h"
#include "platform/LeftoverMark.h"
#include "platform/LeftoverSweep.h"

#include <QFile>
#include <QString>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <thread>
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
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    pid_t ended = 0;
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (ended == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the forked child hung for 2 minutes";
    }
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
