// The records of a Trash or deletion run when the journal refuses its lines: a full disk, a journal
// the user cannot write. A journal file that refuses lines is followed by another one beside it;
// lines refused at the run's end go to the audit log instead, or wait for the next start, which
// neither loses nor counts them twice; a run whose records stop being kept stops and says why.
#include "actions/RecordMerge.h"
#include "actions/RemovalRun.h"
#include "stores/RecordRun.h"
#include "stores/StoreFile.h"
#include "support/CleanupHarness.h"
#include "support/FileSystemProbes.h"
#include "support/MoveHarness.h"
#include "support/RecordCheck.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;
using Op = FaultInjectingFileOperations::Op;

namespace {

enum class Refusal {
    fromTheStart,     // injected EACCES on every append to the journal's own file
    afterSomeLines,   // injected ENOSPC on every file once the run's first lines are in
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
        journal.setFileWriteFaultForTesting(
            [main = journal.path()](const QString& file) { return file == main ? EACCES : 0; });
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

// Neither the journal nor the log takes the run's first lines: no file is removed, and the result
// shows the run as not started, with its reason once; the log says it once, not once per file.
TEST(RecordFallback, WhenNeitherTheJournalNorTheLogTakesTheRecordsTheRunStopsAndSaysWhy) {
    CleanupHarness h;
    stageFiles(h, 3, false);
    h.audit.journal().setWriteFaultForTesting([] { return ENOSPC; });
    StoreFile::setSaveFaultForTesting(
        [](StoreFile::SaveStep step) { return step == StoreFile::SaveStep::write ? ENOSPC : 0; });
    const ActionResult result = runAll(h, false);
    StoreFile::setSaveFaultForTesting({});
    EXPECT_EQ(result.succeeded, 0);
    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.errors, QStringList{QStringLiteral("The run did not start because its records could not "
                                                        "be kept (") +
                                         qt_error_string(ENOSPC) + QStringLiteral(").")});
    EXPECT_TRUE(result.unrecorded.isEmpty()) << result.unrecorded.toStdString();
    EXPECT_EQ(h.log.messages().filter(QStringLiteral("Records could not be kept")).size(), 1);
    EXPECT_TRUE(h.log.messages().filter(QStringLiteral("Delete failed")).isEmpty());
    EXPECT_EQ(h.binPaths().size(), 3);
}

// The journal takes the intents but no outcome, and the log refuses the entries at the run's end:
// the removed files' records wait in the journal for the next start, which counts them once; the
// statistics never count what the log does not hold.
TEST(RecordFallback, OutcomesKeptNowhereAreRecordedByTheNextStart) {
    for (const bool toTrash : {true, false}) {
        CleanupHarness h;
        const RecordExpectation expected = stageFiles(h, 3, toTrash);
        const auto appends = std::make_shared<int>(0);
        h.audit.journal().setWriteFaultForTesting([appends] { return ++*appends > 2 ? ENOSPC : 0; });
        StoreFile::setSaveFaultForTesting(
            [](StoreFile::SaveStep step) { return step == StoreFile::SaveStep::write ? ENOSPC : 0; });
        const ActionResult result = runAll(h, toTrash);
        StoreFile::setSaveFaultForTesting({});
        EXPECT_EQ(result.succeeded, 3);
        EXPECT_EQ(result.unrecorded, QStringLiteral("3 removed file(s) could not be recorded yet (") +
                                         qt_error_string(ENOSPC) +
                                         QStringLiteral("); the next start records them."));
        EXPECT_EQ(h.stats.stats().filesDeleted, 0);
        h.audit.journal().setWriteFaultForTesting({});
        QStringList problems = mergedProblems(h, expected);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        problems = mergedProblems(h, expected);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    }
}

// The first record of the run goes nowhere (every file of the journal refuses it): no file is
// removed.
TEST(RecordFallback, AFirstRecordKeptNowhereStopsTheRunBeforeAnyFileGoes) {
    for (const bool toTrash : {true, false}) {
        CleanupHarness h;
        const RecordExpectation staged = stageFiles(h, 3, toTrash);
        h.audit.journal().setWriteFaultForTesting([] { return ENOSPC; });
        const ActionResult result = runAll(h, toTrash);
        EXPECT_EQ(result.succeeded, 0);
        EXPECT_TRUE(result.refused);
        ASSERT_EQ(result.errors.size(), 1) << "one reason, not one line per file";
        EXPECT_TRUE(result.errors.front().endsWith(qt_error_string(ENOSPC) + QStringLiteral(").")))
            << result.errors.front().toStdString();
        for (auto it = staged.done.cbegin(); it != staged.done.cend(); ++it)
            EXPECT_TRUE(QFileInfo::exists(it.key())) << it.key().toStdString();
        EXPECT_EQ(h.audit.count(), 0);
        EXPECT_EQ(h.stats.stats().filesDeleted, 0);
        EXPECT_EQ(h.binPaths().size(), 3);
    }
}

// The store refuses from a run's tenth step on, as the system refuses it: the journal and the store
// folder made immutable where that refuses the journal's open descriptor too (ext4 does, tmpfs does
// not); elsewhere the folder made immutable (no next journal file, no store saved) and a file-size
// limit at the journal's size (as `ulimit -f` sets it), which refuses the descriptor's appends on
// every file system.
class StoreRefusal {
public:
    explicit StoreRefusal(const QString& store)
        : m_journal(store + QStringLiteral("/audit_log.journal")), m_store(store) {
        QDir().mkpath(store);
        m_why = immutableRefusesOpening(store);
        if (!m_why.empty())
            return;
        m_sizeLimit = !immutableRefusesOpenDescriptors(store).empty();
        error = m_sizeLimit ? EFBIG : EPERM;
    }
    ~StoreRefusal() { end(); }
    StoreRefusal(const StoreRefusal&) = delete;
    StoreRefusal& operator=(const StoreRefusal&) = delete;

    const std::string& why() const { return m_why; }
    void start() {
        if (!m_sizeLimit)
            setImmutable(m_journal, true);
        setImmutable(m_store, true);
        if (m_sizeLimit) {
            // The limit refuses with EFBIG once the signal it raises is ignored.
            m_oldSignal = ::signal(SIGXFSZ, SIG_IGN);
            ::getrlimit(RLIMIT_FSIZE, &m_oldLimit);
            const struct rlimit limit { rlim_t(QFileInfo(m_journal).size()), m_oldLimit.rlim_max };
            m_limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
        m_started = true;
    }
    // True when everything is writable again.
    bool end() {
        if (!m_started)
            return true;
        m_started = false;
        if (m_limited) {
            ::setrlimit(RLIMIT_FSIZE, &m_oldLimit);
            ::signal(SIGXFSZ, m_oldSignal);
            m_limited = false;
        }
        const bool journal = m_sizeLimit || setImmutable(m_journal, false);
        return setImmutable(m_store, false) && journal;
    }
    int error = 0; // what the journal's appends meet

private:
    QString m_journal;
    QString m_store;
    std::string m_why;
    bool m_sizeLimit = false;
    bool m_started = false;
    bool m_limited = false;
    struct rlimit m_oldLimit {};
    sighandler_t m_oldSignal = SIG_DFL;
};

// The system itself refuses the store, no fault injected: a store folder mounted read-only refuses
// the run before anything is touched (no file, no Trash info); a store that refuses in the middle of
// a run stops it after the files whose intents were already durable, and the next start records
// each of those once.
TEST(RecordFallback, AStoreTheSystemRefusesStopsTheRunAndTheNextStartRecordsWhatWent) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "a read-only mount and an immutable file need root";
    for (const bool toTrash : {true, false}) {
        SCOPED_TRACE(toTrash ? "trash" : "delete");
        CleanupHarness h;
        const RecordExpectation staged = stageFiles(h, 3, toTrash);
        const QByteArray store = QFile::encodeName(h.dir.filePath(QStringLiteral("store")));
        // A read-only mount is refused above the file system; mounting may still be refused here.
        if (::mount(store.constData(), store.constData(), nullptr, MS_BIND, nullptr) != 0)
            GTEST_SKIP() << "cannot bind-mount the store folder: " << std::strerror(errno);
        const auto unmount = qScopeGuard([&] { ::umount2(store.constData(), MNT_DETACH); });
        ASSERT_EQ(::mount(nullptr, store.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
        const ActionResult result = runAll(h, toTrash);
        EXPECT_TRUE(result.refused);
        EXPECT_EQ(result.errors,
                  QStringList{QStringLiteral("The run did not start because its records could not "
                                             "be kept (") +
                              qt_error_string(EROFS) + QStringLiteral(").")})
            << result.errors.join('\n').toStdString();
        for (auto it = staged.done.cbegin(); it != staged.done.cend(); ++it)
            EXPECT_TRUE(QFileInfo::exists(it.key())) << it.key().toStdString();
        EXPECT_TRUE(QDir(h.trashFolder() + "/info").isEmpty());
    }
    for (const bool toTrash : {true, false}) {
        SCOPED_TRACE(toTrash ? "trash, refused mid-run" : "delete, refused mid-run");
        CleanupHarness h;
        // The next batch's intents go out before a batch's steps: the store refuses during the first
        // batch, and the run stops at the next write, the third batch's intents, before the second
        // batch's steps.
        RecordExpectation expected = stageFiles(h, 2 * int(RecordRun::intentBatch) + 20, toTrash);
        StoreRefusal refusal(h.dir.filePath(QStringLiteral("store")));
        if (!refusal.why().empty())
            GTEST_SKIP() << refusal.why();
        auto steps = std::make_shared<int>(0);
        h.files->setBeforeEach([&refusal, steps](Op op, const QString&) {
            if ((op == Op::moveToTrash || op == Op::removeFile) && ++*steps == 10)
                refusal.start();
        });
        const ActionResult result = runAll(h, toTrash);
        h.files->setBeforeEach({});
        ASSERT_TRUE(refusal.end());
        EXPECT_EQ(result.succeeded, RecordRun::intentBatch) << "the first batch's intents were durable";
        EXPECT_TRUE(result.unrecorded.contains(qt_error_string(refusal.error)))
            << result.unrecorded.toStdString();
        for (auto it = expected.done.begin(); it != expected.done.end();) {
            if (QFileInfo::exists(it.key())) {
                expected.untouched.append(it.key());
                it = expected.done.erase(it);
            } else {
                ++it;
            }
        }
        EXPECT_EQ(expected.done.size(), RecordRun::intentBatch);
        for (int start = 0; start < 2; ++start) {
            const QStringList problems = mergedProblems(h, expected);
            EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        }
    }
}

// The same for a move to a folder: a refused journal file is followed by another; a first record
// kept nowhere moves nothing.
TEST(RecordFallback, AMoveToAFolderKeepsItsRecordsTheSameWay) {
    for (const bool keptNowhere : {false, true}) {
        MoveHarness h;
        const MediaFile a = h.makeFile(QStringLiteral("Day 1/a.mov"), 5);
        const MediaFile b = h.makeFile(QStringLiteral("Day 1/b.mov"), 7);
        h.stage({a, b}, {a, b});
        RecordJournal& journal = h.audit.journal();
        if (keptNowhere)
            journal.setWriteFaultForTesting([] { return ENOSPC; });
        else
            journal.setFileWriteFaultForTesting(
                [main = journal.path()](const QString& file) { return file == main ? EACCES : 0; });
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
