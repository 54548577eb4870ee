#pragma once

#include <cstddef>

class QThread;
class QThreadPool;

namespace tarnwick {

// Every thread of ours carries a name that says whose it is, as `top -H`, a debugger and a stack
// dump show it. The kernel keeps 15 bytes of a name: a longer one would be cut, so the names are
// checked as they are compiled.
inline constexpr std::size_t maxThreadNameLength = 15;

// A thread name, at most maxThreadNameLength bytes, checked as it is compiled.
class ThreadName {
public:
    template <std::size_t N> consteval ThreadName(const char (&name)[N]) : m_name(name), m_length(N - 1) {
        if (N - 1 == 0 || N - 1 > maxThreadNameLength)
            throw "a thread name has 1 to 15 bytes"; // not a constant expression: refused as compiled
    }
    const char* text() const { return m_name; }
    std::size_t length() const { return m_length; }

private:
    const char* m_name;
    std::size_t m_length;
};

// The pool's threads take its name as each starts (Qt names a pool's threads after the pool).
void nameThreads(QThreadPool& pool, ThreadName name);
// The thread takes the name when it starts.
void nameThread(QThread& thread, ThreadName name);
// Names the calling thread: the first step of a thread of our own that Qt does not start.
void nameCurrentThread(ThreadName name);

} // namespace tarnwick
