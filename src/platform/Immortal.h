#pragma once

#include <new>
#include <utility>

namespace tarnwick {

// A value made on first use and never destroyed. Shared instances that a worker abandoned by a
// watchdog can still reach (a read on a share that answers again while the app quits) must
// outlive every static destructor; the memory stays reachable, so it is no leak either.
template <typename T> class Immortal {
public:
    template <typename... Args> explicit Immortal(Args&&... args) {
        ::new (static_cast<void*>(m_storage)) T(std::forward<Args>(args)...);
    }
    Immortal(const Immortal&) = delete;
    Immortal& operator=(const Immortal&) = delete;

    T& get() { return *std::launder(reinterpret_cast<T*>(m_storage)); }
    const T& get() const { return *std::launder(reinterpret_cast<const T*>(m_storage)); }

private:
    alignas(T) unsigned char m_storage[sizeof(T)];
};

} // namespace tarnwick
