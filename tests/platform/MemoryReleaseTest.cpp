#include "platform/MemoryRelease.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tarnwick;

namespace {

struct Witness {
    std::atomic<std::thread::id>* freedOn = nullptr;
    Witness() = default;
    explicit Witness(std::atomic<std::thread::id>* at) : freedOn(at) {}
    Witness(Witness&& other) noexcept : freedOn(std::exchange(other.freedOn, nullptr)) {}
    ~Witness() {
        if (freedOn)
            freedOn->store(std::this_thread::get_id());
    }
};

} // namespace

TEST(MemoryRelease, FreesAValueOnTheReleaseThread) {
    std::atomic<std::thread::id> freedOn{};
    memory::releaseLater(Witness(&freedOn));
    memory::trimLater();
    memory::waitForReleases();
    EXPECT_NE(freedOn.load(), std::thread::id());
    EXPECT_NE(freedOn.load(), std::this_thread::get_id());
}
