#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace tarnwick::testing {

// Ends the test program when what it guards is still running after `bound`: a run that hangs must
// fail rather than wait for ever. The bound is far beyond any run's time and says nothing of speed.
//     const HangWatchdog watchdog("the Trash run");
class HangWatchdog {
public:
    explicit HangWatchdog(const char* what, std::chrono::seconds bound = std::chrono::seconds(300))
        : m_thread([this, what, bound] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, bound, [this] { return m_finished; })) {
                  std::fprintf(stderr, "%s did not end within %lld s: it hangs\n", what,
                               static_cast<long long>(bound.count()));
                  std::abort();
              }
          }) {}
    ~HangWatchdog() {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    HangWatchdog(const HangWatchdog&) = delete;
    HangWatchdog& operator=(const HangWatchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread; // last: it uses the others
};

} // namespace tarnwick::testing
