#include "platform/MemoryRelease.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
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

// A value shared with other threads whose last owner is the caller (the GUI thread) still ends on
// the release thread.
TEST(MemoryRelease, ASharedValueEndsOnTheReleaseThreadWhoeverLetsGoLast) {
    std::atomic<std::thread::id> freedOn{};
    std::shared_ptr<Witness> shared = memory::sharedUntilReleased(std::make_unique<Witness>(&freedOn));
    std::thread([copy = shared] { (void)copy; }).join();
    shared.reset();
    memory::waitForReleases();
    EXPECT_NE(freedOn.load(), std::thread::id());
    EXPECT_NE(freedOn.load(), std::this_thread::get_id());
}

// What is freed right after the work ends (the views letting go of their rows) is given back by
// the same trim: one trim, after releases asked for following it.
TEST(MemoryRelease, ATrimWaitsForTheReleasesThatFollowItAndIsDoneOnce) {
    std::atomic<int> trims{0};
    std::atomic<bool> releasedBeforeTrim{false};
    std::atomic<std::thread::id> freedOn{};
    memory::setTrimForTests([&] {
        releasedBeforeTrim = freedOn.load() != std::thread::id();
        ++trims;
    });
    memory::trimLater();
    memory::trimLater();
    memory::releaseLater(Witness(&freedOn));
    memory::trimLater();
    memory::waitForReleases();
    memory::setTrimForTests({});
    EXPECT_EQ(trims.load(), 1);
    EXPECT_TRUE(releasedBeforeTrim.load());
}
