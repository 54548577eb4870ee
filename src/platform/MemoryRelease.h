#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace tarnwick::memory {

// The allocator's settings for this program, set first thing in main(): it builds and drops lists
// of 100,000 records on many threads, and each thread's arena would otherwise keep what it freed.
// Leaves settings given in the environment (MALLOC_ARENA_MAX and the like) alone.
void configureAllocator();

// Runs `release` on the release thread, then hands the memory the allocator holds free back to the
// system once no other release waits. For large values whose destruction would stall the caller.
void releaseOnThread(std::function<void()> release);

// Frees `value` on the release thread (it is moved there), then trims.
template <class T> void releaseLater(T&& value) {
    auto held = std::make_shared<std::decay_t<T>>(std::forward<T>(value));
    releaseOnThread([held]() mutable { held.reset(); });
}

// Hands free memory back to the system on the release thread.
void trimLater();

// Waits until every release asked for so far, and its trim, is done (tests, benchmarks).
void waitForReleases();

} // namespace tarnwick::memory
