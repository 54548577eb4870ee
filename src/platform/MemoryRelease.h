#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace tarnwick::memory {

// The allocator's settings for this program, set first thing in main(): it builds and drops lists
// of 100,000 records on many threads, and each thread's arena would otherwise keep what it freed.
// Leaves settings given in the environment (MALLOC_ARENA_MAX and the like) alone.
void configureAllocator();

// Runs `release` on the release thread: for large values whose destruction would stall the caller.
// The memory goes back to the allocator; trimLater() hands what it holds free to the system.
void releaseOnThread(std::function<void()> release);

// Frees `value` on the release thread (it is moved there).
template <class T> void releaseLater(T&& value) {
    auto held = std::make_shared<std::decay_t<T>>(std::forward<T>(value));
    // Moved in, not copied: a copy kept here would be the last one if the release thread ran first.
    releaseOnThread([held = std::move(held)]() mutable { held.reset(); });
}

// Shares `value` among owners on any threads; whichever lets go of it last, it is destroyed on the
// release thread (for values whose last owner may be the GUI thread and whose end is slow).
template <class T> std::shared_ptr<T> sharedUntilReleased(std::unique_ptr<T> value) {
    if (!value)
        return nullptr;
    return std::shared_ptr<T>(value.release(), [](T* last) { releaseLater(std::unique_ptr<T>(last)); });
}

// Hands the memory the allocator holds free back to the system, on the release thread a second
// after the last such request, once the releases asked for until then are done. At the end of a large piece
// of work (an import, Clear All), not in its middle: a trim holds each arena's lock while it walks it, and
// memory given back in the middle of work is only taken again.
void trimLater();

// Waits until every release asked for so far, and its trim, is done, the trim not waiting out its
// second (tests, benchmarks).
void waitForReleases();

// Tests see when the trim runs through this instead of the allocator's; empty restores it.
void setTrimForTests(std::function<void()> trim);

} // namespace tarnwick::memory
