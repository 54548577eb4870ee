// A move across devices killed after a file's copy was synced and renamed into place, before its
// original was removed, leaves the file in both places. The next start finishes that move when the
// original is still the file the move recorded (removed once, counted once), and says in the log
// why both stay when it is not. The second device is played by moves that copy on one device.
#include "actions/MoveToFolderAction.h"
#include "actions/RecordMerge.h"
#include "platform/FileMoveTestSupport.h"
#include "platform/FileMover.h"
#include "platform/LinuxFileOperations.h"
#include "support/ChildTemporaries.h"
#include "support/DiskFactsLogCapture.h"
#include "support/FileSystemProbes.h"
#include "support/ProjectManagerHarness.h"
#include "support/RecordCheck.h"

#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

constexpr char kDone[] = "INTERRUPTED-MOVE-DONE";
constexpr int kFiles = 3;
constexpr int kKilledAt = 2; // the file whose original is about to go when the kill comes

QString sourceOf(const QString& root, int i) {
    return root + QStringLiteral("/media/clip %1.mov").arg(i);
}

QString copyOf(const QString& root, int i) {
    return root + QStringLiteral("/archive") + sourceOf(root, i);
}

QByteArray bytesOf(int i) {
    return test::patternBytes(64 * 1024 + i * 1000, i);
}

enum class Kill { none, beforeRemoval, insideCopy };

// Moves as across devices; the process dies right before the original of file kKilledAt goes,
// its copy complete, synced and in place, or inside that file's copy, its first part written.
FileMoveSteps copyingSteps(Kill kill) {
    FileMoveSteps steps = test::crossDeviceSteps();
    if (kill == Kill::none)
        return steps;
    const auto remove = steps.removeSourceFile;
    const auto copied = std::make_shared<int>(0); // the files moved whole so far
    steps.removeSourceFile = [remove, kill, copied](const QByteArray& path) {
        if (kill == Kill::beforeRemoval &&
            path.endsWith(QByteArray(QByteArray("clip ") + QByteArray::number(kKilledAt) + ".mov")))
            ::raise(SIGKILL);
        ++*copied;
        return remove(path);
    };
    if (kill == Kill::insideCopy) {
        const auto copy = steps.copyChunk;
        steps.copyChunk = [copy, copied](int from, int to, qint64 count) {
            const qint64 done = copy(from, to, std::min<qint64>(count, 4096));
            if (*copied == kKilledAt - 1 && done > 0) {
                ::fdatasync(to);
                ::raise(SIGKILL);
            }
            return done;
        };
    }
    return steps;
}

struct Stores {
    explicit Stores(const QString& root)
        : audit(root + QStringLiteral("/store"), nullptr), stats(root + QStringLiteral("/store")) {}
    AuditLogManager audit;
    StatsManager stats;
};

// The child's run: every file staged and moved, until the kill.
void moveAll(const QString& root) {
    ProjectManagerHarness harness;
    Stores stores(root);
    QList<MediaFile> entries;
    QList<RecycleBinItem> bin;
    for (int i = 1; i <= kFiles; ++i) {
        entries.append(media(sourceOf(root, i), 0, MediaFileStatus::inRecycleBin, bytesOf(i).size()));
        bin.append(binItem(entries.last()));
    }
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(entries).setRecycleBin(bin);
    CleanupServices services;
    const bool insideCopy = qEnvironmentVariable("TARNWICK_INTERRUPTED_MOVE_KILL") == QLatin1String("copy");
    services.files = std::make_shared<test::SteppedFileOperations>(
        copyingSteps(insideCopy ? Kill::insideCopy : Kill::beforeRemoval));
    services.auditLog = &stores.audit;
    services.statsManager = &stores.stats;
    QCoro::waitFor(MoveToFolderAction::moveRecycleBinToFolder(harness.pm(), root + QStringLiteral("/archive"),
                                                              services));
    std::puts(kDone);
    std::fflush(stdout);
}

QByteArray runChild(const QString& root, Kill kill = Kill::beforeRemoval) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TARNWICK_INTERRUPTED_MOVE_CHILD", root);
    env.insert("TARNWICK_INTERRUPTED_MOVE_KILL", kill == Kill::insideCopy ? "copy" : "removal");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    keepChildTemporariesIn(env, root);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=InterruptedMoveChild.Run"});
    if (!child.waitForStarted() || !child.waitForFinished(120000))
        return "did not finish";
    return child.readAllStandardOutput();
}

// The next start, with the same stand-in for the second device.
QStringList startAndCheck(const QString& root, const RecordExpectation& expected) {
    Stores stores(root);
    test::SteppedFileOperations files(copyingSteps(Kill::none));
    RecordMerge::mergeAtStart({&stores.audit, &stores.stats, nullptr}, files);
    Stores afresh(root);
    return checkRecords(afresh.audit, afresh.stats, expected);
}

} // namespace

TEST(InterruptedMoveChild, Run) {
    const QString root = qEnvironmentVariable("TARNWICK_INTERRUPTED_MOVE_CHILD");
    if (root.isEmpty())
        GTEST_SKIP() << "started by InterruptedMove only";
    moveAll(root);
}

TEST(InterruptedMove, TheNextStartFinishesAMoveKilledBetweenItsCopyAndTheOriginalsRemoval) {
    for (const bool originalChanged : {false, true}) {
        SCOPED_TRACE(originalChanged ? "the original changed after the kill" : "the original as it was");
        QTemporaryDir dir;
        const QString root = dir.path();
        // The next start knows the copy by the source it names in a user attribute.
        FILE_SYSTEM_OR_SKIP(keepsUserAttributes, root);
        for (int i = 1; i <= kFiles; ++i)
            ASSERT_TRUE(test::writeBytes(sourceOf(root, i), bytesOf(i)));
        const QByteArray output = runChild(root);
        ASSERT_FALSE(output.contains(kDone)) << output.toStdString();
        // The kill's moment: the first file moved, the second in both places, the third untouched.
        ASSERT_FALSE(QFileInfo::exists(sourceOf(root, 1)));
        ASSERT_EQ(test::readBytes(sourceOf(root, kKilledAt)), bytesOf(kKilledAt));
        ASSERT_EQ(test::readBytes(copyOf(root, kKilledAt)), bytesOf(kKilledAt));
        ASSERT_FALSE(QFileInfo::exists(copyOf(root, 3)));
        if (originalChanged) {
            ASSERT_TRUE(test::writeBytes(sourceOf(root, kKilledAt), bytesOf(kKilledAt) + "edited"));
        }

        RecordExpectation expected;
        expected.action = AuditAction::movedToFolder;
        expected.counter = RecordExpectation::Counter::filesMoved;
        expected.done.insert(sourceOf(root, 1), bytesOf(1).size());
        if (originalChanged) {
            expected.untouched.append(sourceOf(root, kKilledAt));
        } else {
            expected.done.insert(sourceOf(root, kKilledAt), bytesOf(kKilledAt).size());
        }
        expected.untouched.append(sourceOf(root, 3));
        test::DiskFactsLogCapture log;
        const QStringList problems = startAndCheck(root, expected);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();

        EXPECT_EQ(test::readBytes(copyOf(root, kKilledAt)), bytesOf(kKilledAt));
        EXPECT_EQ(QFileInfo::exists(sourceOf(root, kKilledAt)), originalChanged);
        EXPECT_EQ(test::readBytes(sourceOf(root, 3)), bytesOf(3));
        const QStringList twice = log.messages().filter(QStringLiteral("in two places"));
        if (originalChanged) {
            ASSERT_EQ(twice.size(), 1) << log.messages().join('\n').toStdString();
            EXPECT_TRUE(twice.first().contains(sourceOf(root, kKilledAt)));
            EXPECT_TRUE(twice.first().contains(QStringLiteral("the original changed")));
        } else {
            EXPECT_TRUE(twice.isEmpty()) << twice.join('\n').toStdString();
        }
    }
}

// Killed inside a file's copy: the marked partial copy beside its destination is swept by the next
// start (its writer is gone), not left until the move runs again; the original stays, unrecorded.
TEST(InterruptedMove, TheNextStartSweepsThePartialCopyOfAMoveKilledInsideItsCopy) {
    QTemporaryDir dir;
    const QString root = dir.path();
    for (int i = 1; i <= kFiles; ++i)
        ASSERT_TRUE(test::writeBytes(sourceOf(root, i), bytesOf(i)));
    const QByteArray output = runChild(root, Kill::insideCopy);
    ASSERT_FALSE(output.contains(kDone)) << output.toStdString();
    const QString destinationFolder = QFileInfo(copyOf(root, kKilledAt)).path();
    const QStringList partial = test::temporaryLeftovers(destinationFolder);
    ASSERT_FALSE(partial.isEmpty()) << "the kill left no partial copy";
    ASSERT_FALSE(QFileInfo::exists(copyOf(root, kKilledAt)));

    RecordExpectation expected;
    expected.action = AuditAction::movedToFolder;
    expected.counter = RecordExpectation::Counter::filesMoved;
    expected.done.insert(sourceOf(root, 1), bytesOf(1).size());
    expected.untouched = {sourceOf(root, kKilledAt), sourceOf(root, 3)};
    test::DiskFactsLogCapture log;
    const QStringList problems = startAndCheck(root, expected);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();

    EXPECT_TRUE(test::temporaryLeftovers(destinationFolder).isEmpty())
        << test::temporaryLeftovers(destinationFolder).join(' ').toStdString();
    EXPECT_EQ(log.messages().filter(QStringLiteral("Removed leftover")).size(), 1)
        << log.messages().join('\n').toStdString();
    EXPECT_EQ(test::readBytes(sourceOf(root, kKilledAt)), bytesOf(kKilledAt));
    EXPECT_EQ(test::readBytes(copyOf(root, 1)), bytesOf(1));
}
