#include "platform/UnnamedFileStock.h"

#include "platform/LeftoverMark.h"
#include "platform/ThreadPools.h"

#include <QThreadPool>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace tarnwick {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

struct UnnamedFileStock::State {
    explicit State(int wanted) : depth(size_t(wanted)) {}

    void closeAllLocked() {
        for (const int fd : fds)
            ::close(fd);
        fds.clear();
    }

    const size_t depth;
    std::mutex mutex;
    std::condition_variable asked;
    std::condition_variable made; // a file was made, or a fill ended
    QByteArray folder;
    QByteArray markValue; // made by the asking thread: the filler may still run as the program ends
    std::deque<int> fds;
    Clock::time_point lastTake;
    bool filling = false;
    bool refused = false; // the folder takes no unnamed or marked files
    bool stopped = false;
};

UnnamedFileStock::UnnamedFileStock(int depth) : m_state(std::make_shared<State>(depth)) {}

UnnamedFileStock::~UnnamedFileStock() {
    const std::lock_guard lock(m_state->mutex);
    m_state->stopped = true;
    m_state->closeAllLocked();
    m_state->asked.notify_all();
}

int UnnamedFileStock::take(const QByteArray& folder) {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    if (folder != s.folder) {
        s.closeAllLocked();
        s.folder = folder;
        s.refused = false;
    }
    s.lastTake = Clock::now();
    int fd = -1;
    if (!s.fds.empty()) {
        fd = s.fds.front();
        s.fds.pop_front();
    }
    if (s.refused)
        return fd;
    if (s.filling) {
        s.asked.notify_one();
    } else {
        s.filling = true;
        s.markValue = leftover::attributeValue();
        unnamedFilePool().start([state = m_state] { fill(state); });
    }
    return fd;
}

int UnnamedFileStock::takeOrWait(const QByteArray& folder) {
    if (const int fd = take(folder); fd >= 0)
        return fd;
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    s.made.wait(lock, [&] { return !s.fds.empty() || !s.filling || s.folder != folder || s.stopped; });
    if (s.fds.empty() || s.folder != folder)
        return -1;
    const int fd = s.fds.front();
    s.fds.pop_front();
    s.lastTake = Clock::now();
    return fd;
}

// Keeps the stock full while it is asked for; ends once it has not been for a while.
void UnnamedFileStock::fill(const std::shared_ptr<State>& state) {
    State& s = *state;
    const auto idle = std::chrono::milliseconds(idleCloseMs);
    std::unique_lock lock(s.mutex);
    while (!s.stopped && !s.refused) {
        if (s.fds.size() >= s.depth) {
            if (Clock::now() - s.lastTake >= idle) {
                s.closeAllLocked();
                break;
            }
            s.asked.wait_until(lock, s.lastTake + idle);
            continue;
        }
        const QByteArray folder = s.folder;
        const QByteArray markValue = s.markValue;
        lock.unlock();
        int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        const bool unsupported = fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
        const bool unmarked = fd >= 0 && !leftover::setAttribute(fd, markValue);
        if (unmarked) {
            ::close(fd);
            fd = -1;
        }
        lock.lock();
        if (folder != s.folder || s.stopped) {
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        if (fd < 0) {
            // A passing failure (a full disk, no descriptors left) ends this fill only.
            s.refused = unsupported || unmarked;
            break;
        }
        s.fds.push_back(fd);
        s.made.notify_all();
    }
    s.filling = false;
    s.made.notify_all();
}

} // namespace tarnwick
