#pragma once

#include "platform/FileStatProbe.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cstdlib>

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
