#pragma once

#include <atomic>
#include <memory>

namespace tarnwick {

// Lets a view drop a preview request that has not had its turn yet (its row or card scrolled
// away), or stop one under way at its next frame. Copies share one flag; a default token is never
// cancelled.
class RequestToken {
public:
    static RequestToken make() { return RequestToken(std::make_shared<std::atomic_bool>(false)); }
    RequestToken() = default;

    void cancel() const {
        if (m_flag)
            m_flag->store(true, std::memory_order_relaxed);
    }
    bool isCancelled() const { return m_flag && m_flag->load(std::memory_order_relaxed); }
    // For loops that poll while they work.
    const std::atomic_bool* flag() const { return m_flag.get(); }

private:
    explicit RequestToken(std::shared_ptr<std::atomic_bool> flag) : m_flag(std::move(flag)) {}
    std::shared_ptr<std::atomic_bool> m_flag;
};

} // namespace tarnwick
