#pragma once

#include "platform/LeftoverMark.h"
#include "platform/LeftoverSweep.h"

#include <QFile>
#include <QString>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnwick::testing {

// Runs `work` in a child process that is killed with SIGKILL by `work` itself or right after it.
inline void inKilledChild(const std::function<void()>& work) {
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        work();
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
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
