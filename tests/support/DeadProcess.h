#pragma once

#include <QtGlobal>

#include <sys/wait.h>
#include <unistd.h>

namespace tarnwick::testing {

// A process id that no longer runs: a child that exited and was reaped.
inline qint64 deadPid() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

} // namespace tarnwick::testing
