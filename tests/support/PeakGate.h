#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarnwick::test {

// Counts how many callers are inside at once. The first `expected` callers wait at the door until
// that many are inside together, so a pool of that width reaches its peak however loaded the
// machine is; a pool narrower than `expected` lets them through after a minute (and the peak then
// tells). Later callers pass straight through.
class PeakGate {
public:
    explicit PeakGate(int expected) : m_expected(expected) {}

    void enter() {
        std::unique_lock lock(m_mutex);
        ++m_inside;
        m_peak = std::max(m_peak, m_inside);
        if (m_peak >= m_expected) {
            m_reached = true;
            m_cv.notify_all();
            return;
        }
        m_cv.wait_for(lock, std::chrono::minutes(1), [this] { return m_reached; });
    }
    void leave() {
        std::lock_guard lock(m_mutex);
        --m_inside;
    }
    int peak() const {
        std::lock_guard lock(m_mutex);
        return m_peak;
    }

private:
    const int m_expected;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_inside = 0;
    int m_peak = 0;
    bool m_reached = false;
};

} // namespace tarnwick::test
