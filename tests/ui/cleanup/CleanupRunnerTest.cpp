// The clean-up runner and its runs, without a window: which run goes, what waits, what is
// refused, and that each run ends with exactly one result.
#include "ui/cleanup/CleanupRunner.h"

#include "support/ProjectManagerHarness.h"
#include "ui/cleanup/CleanupTexts.h"
#include "ui/cleanup/FakeCleanupOperations.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

struct RunnerFixture {
    ProjectManagerHarness harness;
    FakeCleanupOperations ops;
    CleanupRunner runner{harness.pm(), ops};
    QList<CleanupResult> results;

    RunnerFixture() {
        QObject::connect(&runner, &CleanupRunner::finished,
                         [this](const CleanupResult& result) { results.append(result); });
    }
    ProjectManager& pm() { return harness.pm(); }
    QList<CleanupRunKind> kinds() const {
        QList<CleanupRunKind> out;
        for (const CleanupResult& r : results)
            out.append(r.kind);
        return out;
    }
};

QUrl folder(const char* path) {
    return QUrl::fromLocalFile(QString::fromUtf8(path));
}

} // namespace

TEST(CleanupRunner, RunsOneAtATimeInTheOrderAskedAndRefusesASecondOfAKind) {
    RunnerFixture f;
    f.ops.gate.closed = true;
    f.ops.transcodeResult = {3, 1, 0, 900, {}, false};
    f.runner.request(CleanupRunKind::trash);
    f.runner.request(CleanupRunKind::binMove, folder("/archive"));
    f.runner.request(CleanupRunKind::transcode);
    ASSERT_NE(f.runner.current(), nullptr);
    EXPECT_EQ(f.runner.current()->kind(), CleanupRunKind::trash);
    EXPECT_EQ(f.runner.waiting().size(), 2);
    EXPECT_TRUE(f.runner.isBusyWith(CleanupRunKind::transcode));
    EXPECT_FALSE(f.runner.isBusyWith(CleanupRunKind::deletion));
    EXPECT_EQ(f.ops.binMoveCalls + f.ops.transcodeCalls, 0) << "nothing waiting has started";

    // Asked again while one of its kind waits: refused at once, with the reason, touching nothing.
    f.runner.request(CleanupRunKind::binMove, folder("/elsewhere"));
    ASSERT_EQ(f.results.size(), 1);
    EXPECT_TRUE(f.results[0].isRefused());
    EXPECT_EQ(f.results[0].refusal, CleanupTexts::alreadyAskedReason(CleanupRunKind::binMove));

    f.ops.gate.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.results.size() == 4; }));
    drainEvents();
    EXPECT_EQ(f.kinds(), (QList<CleanupRunKind>{CleanupRunKind::binMove, CleanupRunKind::trash,
                                                CleanupRunKind::binMove, CleanupRunKind::transcode}));
    EXPECT_EQ(f.ops.trashCalls, 1);
    EXPECT_EQ(f.ops.binMoveFolders, QQueue<QUrl>({folder("/archive")}));
    EXPECT_EQ(f.results[2].action.succeeded, 2);
    EXPECT_EQ(f.results[3].transcode.transcoded, 3) << "the transcode's result comes like the others";
    EXPECT_EQ(f.runner.current(), nullptr);
    EXPECT_TRUE(f.runner.waiting().isEmpty());
}

// Every run the runner holds comes from the operations' one factory; the fake's runs count their
// operation and hold on the gate like the engine's runs take their time.
TEST(CleanupRunner, EachKindsRunComesFromTheOperationsFactory) {
    RunnerFixture f;
    f.ops.gate.closed = true;
    const QList<CleanupRunKind> all{CleanupRunKind::trash, CleanupRunKind::deletion, CleanupRunKind::binMove,
                                    CleanupRunKind::unusedMove, CleanupRunKind::transcode};
    for (CleanupRunKind kind : all)
        f.runner.request(kind, folder("/archive"));
    EXPECT_EQ(f.ops.runsMade, 5);
    EXPECT_EQ(f.ops.trashCalls, 1);
    EXPECT_EQ(f.ops.deleteCalls, 0) << "held behind the gated Trash";
    f.ops.gate.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.results.size() == 5; }));
    EXPECT_EQ(f.kinds(), all);
    EXPECT_EQ(f.ops.deleteCalls + f.ops.binMoveCalls + f.ops.fileMoves.size() + f.ops.transcodeCalls, 4);
}

// While the manager is busy a run waits among the user's requests, named in the busy line, and
// starts when the operation ends.
TEST(CleanupRunner, ARunAskedWhileTheManagerIsBusyWaitsForIt) {
    RunnerFixture f;
    auto scope = f.pm().tryBeginOperation(QStringLiteral("Refreshing file status…"));
    ASSERT_TRUE(scope);
    f.runner.request(CleanupRunKind::binMove, folder("/archive/Old Jobs"));
    drainEvents();
    EXPECT_EQ(f.ops.binMoveCalls, 0);
    EXPECT_TRUE(f.results.isEmpty());
    EXPECT_EQ(f.pm().queuedRequests(), QStringList{QStringLiteral("Move the recycle bin to “Old Jobs”")});
    scope->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.results.size() == 1; }));
    EXPECT_FALSE(f.results[0].isRefused());
    EXPECT_EQ(f.results[0].action.succeeded, 2);
    EXPECT_TRUE(f.pm().queuedRequests().isEmpty());
}

// An operation that refuses (the engine's move while another operation holds the manager, a root
// folder) ends its run with a refusal carrying the reason, which the sheet shows as a failure.
TEST(CleanupRunner, AnOperationsRefusalEndsTheRunAsAFailureWithItsReason) {
    RunnerFixture f;
    f.ops.binMoveResult = {0, 0, {QStringLiteral("Another operation is running: Rescanning…")}, {}, true};
    f.runner.request(CleanupRunKind::binMove, folder("/archive"));
    ASSERT_EQ(f.results.size(), 1);
    const CleanupResult& refused = f.results[0];
    ASSERT_TRUE(refused.isRefused());
    EXPECT_EQ(*refused.refusal, QStringLiteral("Another operation is running: Rescanning…"));
    const CleanupTexts::ResultLook look = CleanupTexts::resultLook(refused);
    EXPECT_FALSE(look.success);
    EXPECT_EQ(look.symbol, QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_EQ(look.headline, QStringLiteral("Move Not Started"));
    EXPECT_TRUE(look.counts.startsWith(*refused.refusal));
    EXPECT_FALSE(look.counts.contains(QStringLiteral("Complete")));
}

TEST(CleanupRun, CancelEndsAWaitingRunAndAsksARunningOneToStop) {
    RunnerFixture f;
    f.ops.gate.closed = true;
    f.runner.request(CleanupRunKind::unusedMove, folder("/archive"));
    f.runner.request(CleanupRunKind::trash);
    CleanupRun* move = f.runner.current();
    ASSERT_NE(move, nullptr);
    QSignalSpy progressed(move, &CleanupRun::progressed);
    f.pm().updateMoveProgress([](MoveProgress& p) {
        p.moveFilesCompleted = 3;
        p.moveTotalFiles = 8;
    });
    drainEvents();
    ASSERT_GE(progressed.count(), 1);
    EXPECT_EQ(move->progress(), (CleanupRun::Progress{3, 8}));

    f.runner.cancel(CleanupRunKind::trash);
    ASSERT_EQ(f.results.size(), 1);
    EXPECT_EQ(f.results[0].refusal, CleanupTexts::cancelledBeforeStartReason());
    f.runner.cancel(CleanupRunKind::unusedMove);
    EXPECT_TRUE(f.pm().moveProgress().cancelMoveRequested);
    EXPECT_EQ(move->state(), CleanupRun::State::running) << "it stops at its next file, then reports";
    f.ops.gate.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.results.size() == 2; }));
    EXPECT_EQ(f.ops.trashCalls, 0);
}

// A run reports once: a refusal after it started, or a second start, changes nothing.
TEST(CleanupRun, EndsExactlyOnce) {
    RunnerFixture f;
    std::unique_ptr<CleanupRun> run = f.ops.makeRun(CleanupRunKind::deletion, f.pm(), {});
    QSignalSpy finished(run.get(), &CleanupRun::finished);
    f.ops.deleteResult = ActionResult::counted(4);
    run->start();
    run->start();
    run->refuse(QStringLiteral("late"));
    run->cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() >= 1; }));
    drainEvents();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(f.ops.deleteCalls, 1);
    ASSERT_TRUE(run->result().has_value());
    EXPECT_FALSE(run->result()->isRefused());
    EXPECT_EQ(run->progress(), (CleanupRun::Progress{4, 4}));
}

TEST(CleanupTexts, ResultSheetsHaveASuccessAnErrorAndARefusedForm) {
    using CleanupTexts::resultLook;
    const auto ok =
        resultLook(CleanupResult::of(CleanupRunKind::trash, {0, 0, {QStringLiteral("ignored")}, {}}));
    EXPECT_TRUE(ok.success);
    EXPECT_EQ(ok.symbol, QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(ok.headline, QStringLiteral("Deletion Complete"));
    EXPECT_EQ(ok.counts, QStringLiteral("0 file(s) processed successfully"));
    EXPECT_FALSE(ok.showErrors);
    const auto bad = resultLook(CleanupResult::of(CleanupRunKind::unusedMove, ActionResult::counted(12, 3)));
    EXPECT_EQ(bad.symbol, QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_EQ(bad.headline, QStringLiteral("Move Complete with Errors"));
    EXPECT_EQ(bad.counts, QStringLiteral("12 succeeded, 3 failed"));
    EXPECT_FALSE(bad.showErrors); // failures without texts: no box
    EXPECT_TRUE(resultLook(CleanupResult::of(CleanupRunKind::deletion,
                                             ActionResult::counted(1, 1, {QStringLiteral("e")})))
                    .showErrors);
    for (CleanupRunKind kind : {CleanupRunKind::trash, CleanupRunKind::deletion, CleanupRunKind::binMove,
                                CleanupRunKind::unusedMove, CleanupRunKind::transcode}) {
        const auto refused = resultLook(CleanupResult::refused(kind, QStringLiteral("Busy.")));
        EXPECT_FALSE(refused.success);
        EXPECT_TRUE(refused.headline.endsWith(QStringLiteral("Not Started")))
            << refused.headline.toStdString();
        EXPECT_EQ(refused.counts, QStringLiteral("Busy.\nNo file was changed."));
    }
}
