#include "readers/ReaderTask.h"

#include <QMutex>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace tarnwick;

namespace {

// Which threads ran the work, so the count of threads a parse may use can be checked.
struct Threads {
    QMutex mutex;
    QSet<Qt::HANDLE> seen;
    void note() {
        QMutexLocker lock(&mutex);
        seen.insert(QThread::currentThreadId());
    }
};

} // namespace

// Many parses at once, each splitting its work in two levels: the threads stay within the pool's
// bound plus the callers, and tasks that find no thread run on their caller without deadlock.
TEST(ReaderTask, NestedWorkFromManyCallersStaysWithinThePool) {
    Threads threads;
    std::vector<ReaderTask<int>> parses;
    for (int p = 0; p < 16; ++p) {
        parses.emplace_back([&threads] {
            threads.note();
            std::vector<ReaderTask<int>> pieces;
            for (int k = 0; k < 8; ++k) {
                pieces.emplace_back([&threads, k] {
                    threads.note();
                    ReaderTask<int> inner([&threads, k] {
                        threads.note();
                        return k;
                    });
                    return inner.get() + 1;
                });
            }
            int sum = 0;
            for (auto& piece : pieces)
                sum += piece.get();
            return sum;
        });
    }
    for (auto& parse : parses)
        EXPECT_EQ(parse.get(), 36);
    EXPECT_LE(threads.seen.size(), readerPool().maxThreadCount() + 1);
}

TEST(ReaderTask, RunsOnTheCallerWhenNotParallelAndPassesExceptionsOn) {
    const Qt::HANDLE caller = QThread::currentThreadId();
    ReaderTask<Qt::HANDLE> here([] { return QThread::currentThreadId(); }, false);
    EXPECT_FALSE(here.started());
    EXPECT_EQ(here.get(), caller);

    ReaderTask<int> failing([]() -> int { throw std::runtime_error("damaged"); });
    EXPECT_THROW(failing.get(), std::runtime_error);
}
