#pragma once

#include "platform/FileStatProbe.h"

#include <QtGlobal>

#include <atomic>

namespace tarnwick::bench {

// Set by the test build: run only the smallest size, once, so the benchmark cannot rot.
inline bool smokeMode() {
    return qEnvironmentVariableIntValue("TARNWICK_BENCH_SMOKE") == 1;
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
