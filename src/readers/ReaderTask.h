#pragma once

#include "platform/ThreadPools.h"

#include <QThreadPool>

#include <future>
#include <memory>
#include <utility>

namespace tarnwick {

// A piece of a parse run beside the caller on readerPool(). When no thread is free (or `parallel`
// is false) it runs on the caller when its result is asked for, so tasks waiting on tasks can
// never wait on a queue. A task that was started is waited for before it is destroyed: it may use
// the caller's locals.
template <typename R> class ReaderTask {
public:
    ReaderTask() = default;
    template <typename F>
    explicit ReaderTask(F&& work, bool parallel = true) : m_state(std::make_shared<State>()) {
        m_state->task = std::packaged_task<R()>(std::forward<F>(work));
        m_state->result = m_state->task.get_future();
        if (parallel) {
            auto state = m_state;
            m_started = readerPool().tryStart([state] { state->task(); });
        }
    }
    ReaderTask(ReaderTask&& other) noexcept
        : m_state(std::exchange(other.m_state, nullptr)), m_started(other.m_started) {}
    ReaderTask& operator=(ReaderTask&& other) noexcept {
        if (this != &other) {
            finish();
            m_state = std::exchange(other.m_state, nullptr);
            m_started = other.m_started;
        }
        return *this;
    }
    ReaderTask(const ReaderTask&) = delete;
    ReaderTask& operator=(const ReaderTask&) = delete;
    ~ReaderTask() { finish(); }

    // Whether it runs on a pool thread (rather than on the caller at get()).
    bool started() const { return m_started; }

    // The result (or the task's exception); once only.
    R get() {
        if (!m_started) {
            m_state->task();
            m_started = true;
        }
        return m_state->result.get();
    }

private:
    struct State {
        std::packaged_task<R()> task;
        std::future<R> result;
    };

    void finish() {
        if (m_state && m_started && m_state->result.valid())
            m_state->result.wait();
    }

    std::shared_ptr<State> m_state;
    bool m_started = false;
};

} // namespace tarnwick
