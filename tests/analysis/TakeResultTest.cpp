#include "analysis/TakeResult.h"

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorotask.h>

#include <gtest/gtest.h>

#include <vector>

using namespace tarnwick;

namespace {

// Counts its copies: a result handed over must not be copied.
struct Counted {
    static inline int copies = 0;
    Counted() = default;
    Counted(const Counted&) { ++copies; }
    Counted(Counted&&) noexcept = default;
    Counted& operator=(const Counted&) {
        ++copies;
        return *this;
    }
    Counted& operator=(Counted&&) noexcept = default;
};

} // namespace

TEST(TakeResult, HandsOverTheResultWithoutACopyAndEmptiesTheFuture) {
    Counted::copies = 0;
    QFuture<std::vector<Counted>> future = QtConcurrent::run([] { return std::vector<Counted>(3); });
    const std::vector<Counted> taken = QCoro::waitFor(takeResult(future));
    EXPECT_EQ(taken.size(), 3U);
    EXPECT_EQ(Counted::copies, 0);
    EXPECT_FALSE(future.isValid());
}
