#pragma once

#include "platform/FileStatProbe.h"

#include <QtGlobal>

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace tarnwick::bench {

// Set by the test build: run only the smallest size, once, so the benchmark cannot rot.
inline bool smokeMode() {
    return qEnvironmentVariableIntValue("TARNWICK_BENCH_SMOKE") == 1;
}

// The middle value of the samples (the mean of the two middle ones for an even count); 0 for none.
template <typename Samples> double median(Samples values) {
    std::sort(values.begin(), values.end());
    const auto n = values.size();
    if (n == 0)
        return 0;
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The one-minute load average, reported beside each figure.
inline double loadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : 0;
}

inline double seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// Processor time (user + system) of this process so far, every thread.
inline double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A peer program run to its end: its wall time and its own processor time.
struct ChildRun {
    int exitCode = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
};

// Runs `argv` (looked up on PATH) with its standard output written to `outputPath`.
inline ChildRun runChild(const QList<QByteArray>& argv, const QByteArray& outputPath) {
    std::vector<char*> args;
    for (const QByteArray& a : argv)
        args.push_back(const_cast<char*>(a.constData()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    ChildRun run;
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        }
    }
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &end);
    run.wallSeconds = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// The real stat(2), counting its calls.
class CountingStatProbe : public FileStatProbe {
public:
    std::optional<FileFacts> stat(const QString& path) const override {
        calls.fetch_add(1, std::memory_order_relaxed);
        return FileStatProbe::system()->stat(path);
    }
    mutable std::atomic<qint64> calls{0};
};

} // namespace tarnwick::bench
