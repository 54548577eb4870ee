#pragma once

#include <QtGlobal>

#include <atomic>
#include <thread>
#include <vector>

namespace tarnwick::bench {

// Spins N threads for its lifetime (TARNWICK_BENCH_BURN=N): the figures with every core busy.
class CoreBurner {
public:
    CoreBurner() {
        const int threads = qEnvironmentVariableIntValue("TARNWICK_BENCH_BURN");
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this] {
                volatile quint64 spin = 0;
                while (!m_stop.load(std::memory_order_relaxed))
                    spin = spin + 1;
            });
    }
    ~CoreBurner() {
        m_stop = true;
        for (std::thread& thread : m_threads)
            thread.join();
    }
    CoreBurner(const CoreBurner&) = delete;
    CoreBurner& operator=(const CoreBurner&) = delete;

private:
    std::atomic_bool m_stop = false;
    std::vector<std::thread> m_threads;
};

} // namespace tarnwick::bench
