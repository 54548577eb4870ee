#include "platform/WatchdogPool.h"

#include "support/PeakGate.h"

#include <gtest/gtest.h>

#include <QSet>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace tarnwick;
using namespace std::chrono_literals;

TEST(WatchdogPool, RunsEveryJobAtMostWidthAtOnce) {
    WatchdogPool pool("WatchdogTest", 3, 5s);
    test::PeakGate gate(3);
    QSet<int> finished;
    pool.map<int>(
        20,
        [&](int index, WatchdogPool::Watch&) {
            gate.enter();
            gate.leave();
            return index * 2;
        },
        [&](int index, WatchdogPool::Outcome outcome, const int* result) {
            ASSERT_EQ(outcome, WatchdogPool::Outcome::finished);
            ASSERT_NE(result, nullptr);
            EXPECT_EQ(*result, index * 2);
            finished.insert(index);
        });
    EXPECT_EQ(finished.size(), 20);
    EXPECT_EQ(gate.peak(), 3);
}

TEST(WatchdogPool, AbandonsAJobThatStopsAnsweringAndCarriesOn) {
    struct Gate {
        std::mutex mutex;
        std::condition_variable cv;
        bool open = false;
        bool answered = false;
    };
    auto gate = std::make_shared<Gate>();
    WatchdogPool pool("WatchdogTest", 2, 200ms);
    QList<std::pair<int, WatchdogPool::Outcome>> ends;
    pool.map<int>(
        6,
        [gate](int index, WatchdogPool::Watch&) {
            if (index == 1) {
                std::unique_lock lock(gate->mutex);
                gate->cv.wait(lock, [&] { return gate->open; });
                gate->answered = true;
                gate->cv.notify_all();
            }
            return index;
        },
        [&](int index, WatchdogPool::Outcome outcome, const int*) {
            ends.append({index, outcome});
        });
    // Returning at all shows the stuck call was not waited for: it is let go only below.
    ASSERT_EQ(ends.size(), 6);
    for (const auto& [index, outcome] : ends)
        EXPECT_EQ(outcome, index == 1 ? WatchdogPool::Outcome::abandoned : WatchdogPool::Outcome::finished)
            << index;
    EXPECT_EQ(pool.abandonedCount(), 1);

    // The pool keeps its width after replacing the stuck thread.
    int more = 0;
    pool.map<int>(
        4, [](int i, WatchdogPool::Watch&) { return i; },
        [&](int, WatchdogPool::Outcome outcome, const int*) {
            more += outcome == WatchdogPool::Outcome::finished;
        });
    EXPECT_EQ(more, 4);
    std::unique_lock lock(gate->mutex);
    gate->open = true;
    gate->cv.notify_all();
    gate->cv.wait(lock, [&] { return gate->answered; });
}

TEST(WatchdogPool, ATouchedJobIsNotAbandonedWhileItMakesProgress) {
    // Far longer than the timeout in all, with touches far more often than it.
    WatchdogPool pool("WatchdogTest", 1, 1s);
    WatchdogPool::Outcome seen = WatchdogPool::Outcome::abandoned;
    pool.map<int>(
        1,
        [](int, WatchdogPool::Watch& watch) {
            for (int i = 0; i < 75; ++i) {
                watch.touch();
                std::this_thread::sleep_for(20ms);
            }
            return 1;
        },
        [&](int, WatchdogPool::Outcome outcome, const int*) { seen = outcome; });
    EXPECT_EQ(seen, WatchdogPool::Outcome::finished);
}

TEST(WatchdogPool, CancelledJobsThatHaveNotStartedEndAsCancelled) {
    WatchdogPool pool("WatchdogTest", 1, 5s);
    std::atomic_bool cancel{false};
    // The first job cancels the run and goes on until the run has reported the cancelled jobs.
    struct Gate {
        std::mutex mutex;
        std::condition_variable cv;
        bool seenCancelled = false;
    };
    auto gate = std::make_shared<Gate>();
    int finished = 0;
    int cancelled = 0;
    pool.map<int>(
        10,
        [&cancel, gate](int, WatchdogPool::Watch&) {
            cancel = true;
            std::unique_lock lock(gate->mutex);
            gate->cv.wait(lock, [&] { return gate->seenCancelled; });
            return 0;
        },
        [&](int, WatchdogPool::Outcome outcome, const int*) {
            finished += outcome == WatchdogPool::Outcome::finished;
            cancelled += outcome == WatchdogPool::Outcome::cancelled;
            if (outcome == WatchdogPool::Outcome::cancelled) {
                std::lock_guard lock(gate->mutex);
                gate->seenCancelled = true;
                gate->cv.notify_all();
            }
        },
        &cancel);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(cancelled, 9);
}

// One pool shared by callers on several threads (the manager's scan object): each run must get
// the ends of its own jobs only.
TEST(WatchdogPool, RunsFromSeveralThreadsEachSeeTheirOwnJobs) {
    WatchdogPool pool("WatchdogTest", 4, 5s);
    const auto runMany = [&pool](int base, QList<int>* seen) {
        for (int round = 0; round < 20; ++round) {
            pool.map<int>(
                25,
                [base](int index, WatchdogPool::Watch&) {
                    std::this_thread::sleep_for(50us);
                    return base + index;
                },
                [&](int index, WatchdogPool::Outcome outcome, const int* result) {
                    if (outcome == WatchdogPool::Outcome::finished && result && *result == base + index)
                        seen->append(index);
                });
        }
    };
    QList<int> first;
    QList<int> second;
    std::thread other(runMany, 1000, &second);
    runMany(0, &first);
    other.join();
    EXPECT_EQ(first.size(), 500);
    EXPECT_EQ(second.size(), 500);
}

// The workers see the cancel themselves: a busy caller's thread that has not woken yet must not let
// them take further jobs meanwhile.
TEST(WatchdogPool, NoJobStartsOnceCancelledEvenBeforeTheCallerWakes) {
    WatchdogPool pool("WatchdogTest", 1, 5s);
    std::atomic_bool cancel{false};
    std::atomic<int> ran{0};
    int cancelled = 0;
    pool.map<int>(
        50,
        [&](int, WatchdogPool::Watch&) {
            ++ran;
            cancel = true;
            return 0;
        },
        [&](int, WatchdogPool::Outcome outcome, const int*) {
            cancelled += outcome == WatchdogPool::Outcome::cancelled;
        },
        &cancel);
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(cancelled, 49);
}

// A pool kept for later (the file checks of a window) holds no threads while it has no work.
TEST(WatchdogPool, StartsThreadsForWorkAndEndsThemWhenIdle) {
    WatchdogPool pool("WatchdogTest", 100, 5s, 0ms);
    EXPECT_EQ(pool.liveThreadCount(), 0);
    for (int round = 0; round < 2; ++round) {
        int finished = 0;
        pool.map<int>(
            3, [](int index, WatchdogPool::Watch&) { return index; },
            [&](int, WatchdogPool::Outcome outcome, const int*) {
                EXPECT_EQ(outcome, WatchdogPool::Outcome::finished);
                ++finished;
            });
        EXPECT_EQ(finished, 3);
        EXPECT_LE(pool.liveThreadCount(), 3); // no more threads than jobs
        // Idle threads end on their own; wait for that state (no timing is asserted).
        const auto patience = std::chrono::steady_clock::now() + 30s;
        while (pool.liveThreadCount() > 0 && std::chrono::steady_clock::now() < patience)
            std::this_thread::yield();
        EXPECT_EQ(pool.liveThreadCount(), 0);
    }
}
