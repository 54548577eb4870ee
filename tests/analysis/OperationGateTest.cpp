#include "analysis/OperationGate.h"
#include "support/ProjectManagerHarness.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <qcoro/qcorotimer.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

QCoro::Task<void> runInTurn(OperationGate& gate, QString name, QStringList& log) {
    OperationGate::Scope scope = co_await gate.begin(name);
    log << name + QStringLiteral(" start");
    co_await QCoro::sleepFor(std::chrono::milliseconds(5)); // the event loop runs meanwhile
    log << name + QStringLiteral(" end");
}

TEST(OperationGate, RefusesWhileBusyAndFreesItsTurnWhenTheScopeEnds) {
    OperationGate gate;
    QSignalSpy busy(&gate, &OperationGate::busyChanged);
    {
        auto scope = gate.tryBegin("first");
        ASSERT_TRUE(scope && scope->isActive());
        EXPECT_EQ(gate.reason(), QStringLiteral("first"));
        EXPECT_FALSE(gate.tryBegin("second"));
        scope->setReason("first, step two");
        EXPECT_EQ(gate.reason(), QStringLiteral("first, step two"));
        auto moved = std::move(*scope);
        EXPECT_TRUE(gate.isBusy()) << "moving the scope keeps the turn";
    }
    EXPECT_FALSE(gate.isBusy());
    EXPECT_EQ(busy.count(), 3); // busy, reason changed, idle
    EXPECT_TRUE(gate.tryBegin("third"));
}

TEST(OperationGate, WaitingOperationsRunOneAfterAnotherInArrivalOrder) {
    OperationGate gate;
    QStringList log;
    auto first = gate.tryBegin("import");
    ASSERT_TRUE(first);
    auto a = runInTurn(gate, "A", log);
    auto b = runInTurn(gate, "B", log);
    EXPECT_EQ(gate.waitingCount(), 2);
    EXPECT_FALSE(gate.tryBegin("refused")) << "no overtaking of waiting operations";
    drainEvents();
    EXPECT_TRUE(log.isEmpty());
    first->release();
    QCoro::waitFor(a);
    QCoro::waitFor(b);
    EXPECT_EQ(log, (QStringList{"A start", "A end", "B start", "B end"}));
    EXPECT_FALSE(gate.isBusy());
}

} // namespace
