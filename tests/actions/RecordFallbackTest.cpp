// The records of a Trash or deletion run when the journal refuses its lines: a full disk, a journal
// the user cannot write. The audit log takes the run's entries instead, the next start neither
// loses nor counts them twice, and a run whose records can be kept nowhere says so.
#include "actions/RecordMerge.h"
#include "actions/RemovalRun.h"
#include "stores/StoreFile.h"
#include "support/CleanupHarness.h"
#include "support/MoveHarness.h"
#include "support/RecordCheck.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

enum class Refusal {
    fromTheStart,     // injected EACCES on every append
    afterSomeLines,   // injected ENOSPC once the run's first lines are in
    folderInItsPlace, // a real folder where the journal belongs: no append can open it
};

ActionResult runAll(CleanupHarness& h, bool toTrash) {
    return QCoro::waitFor(
        runRemoval(h.pm(), h.services(), toTrash ? RemovalMethod::trash : RemovalMethod::deletePermanently));
}

// Stages `count` files; the expectation once they are all removed.
RecordExpectation stageFiles(CleanupHarness& h, int count, bool toTrash) {
    QList<MediaFile> files;
    RecordExpectation expected;
    expected.action = toTrash ? AuditAction::movedToTrash : AuditAction::deletedPermanently;
    for (int i = 0; i < count; ++i) {
        files.append(h.makeFile(QStringLiteral("Card %1/clip é %2.mov").arg(i % 3).arg(i), 10 + i));
        expected.done.insert(files.last().path, 10 + i);
    }
    h.stage(files, files);
    return expected;
}

void refuse(CleanupHarness& h, Refusal refusal, const std::shared_ptr<int>& appends) {
    RecordJournal& journal = h.audit.journal();
    switch (refusal) {
    case Refusal::fromTheStart:
        journal.setWriteFaultForTesting([] { return EACCES; });
        break;
    case Refusal::afterSomeLines:
        journal.setWriteFaultForTesting([appends] { return ++*appends > 4 ? ENOSPC : 0; });
        break;
    case Refusal::folderInItsPlace:
        ASSERT_TRUE(QDir().mkpath(journal.path()));
        break;
    }
}

// The next start, on stores read afresh.
QStringList mergedProblems(CleanupHarness& h, const RecordExpectation& expected) {
    AuditLogManager audit(h.dir.filePath(QStringLiteral("store")), nullptr);
    StatsManager stats(h.dir.filePath(QStringLiteral("store")));
    RecordMerge::mergeAtStart({&audit, &stats, nullptr}, *FileOperations::system());
    return checkRecords(audit, stats, expected);
}

TEST(RecordFallback, ARefusedJournalLeavesEveryRemovalInTheLogOnce) {
    for (const Refusal refusal :
         {Refusal::fromTheStart, Refusal::afterSomeLines, Refusal::folderInItsPlace}) {
        for (const bool toTrash : {true, false}) {
            SCOPED_TRACE(::testing::Message()
                         << "refusal " << int(refusal) << (toTrash ? " trash" : " delete"));
            CleanupHarness h;
            const RecordExpectation expected = stageFiles(h, 12, toTrash);
            const auto appends = std::make_shared<int>(0);
            refuse(h, refusal, appends);
            const ActionResult result = runAll(h, toTrash);
            EXPECT_EQ(result.succeeded, 12);
            EXPECT_EQ(result.failed, 0) << result.errors.join('\n').toStdString();
            EXPECT_TRUE(result.unrecorded.isEmpty()) << result.unrecorded.toStdString();
            EXPECT_EQ(h.audit.count(), 12);
            EXPECT_EQ(h.stats.stats().filesDeleted, 12);
            if (refusal == Refusal::afterSomeLines) {
                // What went in before the disk filled up is whole lines of a known run.
                const JournalContents early = h.audit.journal().read();
                EXPECT_EQ(early.damagedLines, 0);
                EXPECT_EQ(early.runs.size(), 1);
            }
            // Space again at the next start: it finds the run's early lines and the log, and
            // records each file once; a second start adds nothing.
            h.audit.journal().setWriteFaultForTesting({});
            QStringList problems = mergedProblems(h, expected);
            EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
            problems = mergedProblems(h, expected);
            EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        }
    }
}

TEST(RecordFallback, WhenNeitherTheJournalNorTheLogTakesTheRecordsTheResultSaysHowManyAndWhy) {
    CleanupHarness h;
    stageFiles(h, 3, false);
    h.audit.journal().setWriteFaultForTesting([] { return ENOSPC; });
    StoreFile::setSaveFaultForTesting(
        [](StoreFile::SaveStep step) { return step == StoreFile::SaveStep::write ? ENOSPC : 0; });
    const ActionResult result = runAll(h, false);
    StoreFile::setSaveFaultForTesting({});
    EXPECT_EQ(result.succeeded, 3);
    EXPECT_EQ(result.unrecorded,
              QStringLiteral("3 files were removed but could not be recorded: ") + qt_error_string(ENOSPC));
    EXPECT_TRUE(h.log.contains(result.unrecorded));
}

// The first record of the run goes nowhere (the journal refuses it and the log's folder takes no
// new file): no file is removed.
TEST(RecordFallback, AFirstRecordKeptNowhereStopsTheRunBeforeAnyFileGoes) {
    for (const bool toTrash : {true, false}) {
        CleanupHarness h;
        const RecordExpectation staged = stageFiles(h, 3, toTrash);
        h.audit.journal().setWriteFaultForTesting([] { return ENOSPC; });
        ASSERT_TRUE(QDir().mkpath(h.dir.filePath(QStringLiteral("store/.audit_log.probe"))));
        const ActionResult result = runAll(h, toTrash);
        EXPECT_EQ(result.succeeded, 0);
        EXPECT_EQ(result.failed, 3);
        ASSERT_EQ(result.errors.size(), 3);
        EXPECT_TRUE(result.errors.front().endsWith(
            QStringLiteral(": kept, its removal could not be recorded: ") + qt_error_string(ENOSPC)))
            << result.errors.front().toStdString();
        for (auto it = staged.done.cbegin(); it != staged.done.cend(); ++it)
            EXPECT_TRUE(QFileInfo::exists(it.key())) << it.key().toStdString();
        EXPECT_EQ(h.audit.count(), 0);
        EXPECT_EQ(h.stats.stats().filesDeleted, 0);
        EXPECT_EQ(h.binPaths().size(), 3);
    }
}

// The same for a move to a folder: refused lines go to the log at the end; a first record kept
// nowhere moves nothing.
TEST(RecordFallback, AMoveToAFolderKeepsItsRecordsTheSameWay) {
    for (const bool keptNowhere : {false, true}) {
        MoveHarness h;
        const MediaFile a = h.makeFile(QStringLiteral("Day 1/a.mov"), 5);
        const MediaFile b = h.makeFile(QStringLiteral("Day 1/b.mov"), 7);
        h.stage({a, b}, {a, b});
        h.audit.journal().setWriteFaultForTesting([] { return ENOSPC; });
        if (keptNowhere) {
            ASSERT_TRUE(QDir().mkpath(h.dir.filePath(QStringLiteral("store/.audit_log.probe"))));
        }
        const ActionResult result = h.moveBin();
        h.audit.journal().setWriteFaultForTesting({});
        EXPECT_EQ(result.succeeded, keptNowhere ? 0 : 2) << result.errors.join('\n').toStdString();
        EXPECT_EQ(QFileInfo::exists(a.path), keptNowhere);
        EXPECT_EQ(QFileInfo::exists(h.archived(b.path)), !keptNowhere);
        RecordExpectation expected;
        expected.action = AuditAction::movedToFolder;
        expected.counter = RecordExpectation::Counter::filesMoved;
        if (keptNowhere)
            expected.untouched = QStringList{a.path, b.path};
        else
            expected.done = {{a.path, 5}, {b.path, 7}};
        const QStringList problems = mergedProblems(h, expected);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    }
}

} // namespace
