#pragma once

#include "platform/FileStatProbe.h"

#include <QSet>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tarnwick::test {

// stat(2), counted.
class CountingStatProbe : public FileStatProbe {
public:
    std::optional<FileFacts> stat(const QString& path) const override {
        ++m_calls;
        return FileStatProbe::system()->stat(path);
    }
    int calls() const { return m_calls.load(); }
    void reset() { m_calls = 0; }

private:
    mutable std::atomic<int> m_calls{0};
};

// stat(2), except that paths under `hangingPrefix` block until release(), like a hard-mounted
// share that went away (and then came back).
class HangingStatProbe : public FileStatProbe {
public:
    explicit HangingStatProbe(QString hangingPrefix) : m_prefix(std::move(hangingPrefix)) {}
    ~HangingStatProbe() override { release(); }

    std::optional<FileFacts> stat(const QString& path) const override {
        if (!path.startsWith(m_prefix))
            return FileStatProbe::system()->stat(path);
        ++m_hung;
        std::unique_lock lock(m_mutex);
        ++m_inside;
        m_cv.wait(lock, [this] { return m_released; });
        lock.unlock();
        auto facts = FileStatProbe::system()->stat(path);
        lock.lock();
        --m_inside;
        m_cv.notify_all();
        return facts;
    }
    void release() const {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_cv.notify_all();
    }
    // Releases the hung calls and waits until each has answered: a test never ends with a stuck
    // worker just let go and still running.
    void releaseAndAwaitAnswers() const {
        release();
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_inside == 0; });
    }
    int hungCalls() const { return m_hung.load(); }

private:
    QString m_prefix;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    mutable bool m_released = false;
    mutable int m_inside = 0;
    mutable std::atomic<int> m_hung{0};
};

} // namespace tarnwick::test
