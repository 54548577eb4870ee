#pragma once

#include "platform/MemoryRelease.h"

#include <future>

namespace tarnwick::test {

// Holds the release thread at a gate from its making until open() or its end: what is handed to
// the thread meanwhile waits there, alive, behind it.
class ReleaseGate {
public:
    ReleaseGate() {
        memory::releaseOnThread([gate = m_open.get_future().share()] { gate.wait(); });
    }
    ~ReleaseGate() { open(); }
    ReleaseGate(const ReleaseGate&) = delete;
    ReleaseGate& operator=(const ReleaseGate&) = delete;

    void open() {
        if (!m_opened)
            m_open.set_value();
        m_opened = true;
    }

private:
    std::promise<void> m_open;
    bool m_opened = false;
};

} // namespace tarnwick::test
