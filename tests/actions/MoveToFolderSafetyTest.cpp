// Moving to a folder never moves what the user did not choose, finishes what a killed run left
// half done instead of duplicating it, sweeps the temporaries such a run left, and refuses a
// folder that would only rename files in place.
#include "actions/MoveToFolderAction.h"
#include "platform/FileMoveTestSupport.h"
#include "platform/FileMover.h"
#include "platform/LeftoverMark.h"
#include "support/DeadProcess.h"
#include "support/FileSystemProbes.h"
#include "support/ForeignMark.h"
#include "support/MoveHarness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;
using Op = FaultInjectingFileOperations::Op;

namespace {

// A move between devices killed after its copy was in place and before the source was gone:
// the source removal fails after `removals` files.
void interruptedMove(const QString& source, const QString& destination, int removals) {
    FileMoveSteps steps = test::crossDeviceSteps();
    auto left = std::make_shared<int>(removals);
    const auto remove = steps.removeSourceFile;
    steps.removeSourceFile = [left, remove](const QByteArray& path) {
        if (--*left < 0) {
            errno = EINTR;
            return -1;
        }
        return remove(path);
    };
    QDir().mkpath(QFileInfo(destination).path());
    ASSERT_FALSE(FileMover(steps).moveNoReplace(source, destination));
    ASSERT_TRUE(QFileInfo::exists(source));
    ASSERT_TRUE(QFileInfo::exists(destination));
}

// What a killed run leaves: a temporary whose mark names a process that is gone.
void markAbandoned(const QString& path) {
    ASSERT_TRUE(markAsWrittenBy(path, {deadPid(), 1, leftover::currentWriter().bootId}, "x"));
}

void setMtime(const QString& path, const struct timespec& when) {
    const struct timespec times[2] = {when, when};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

struct timespec mtimeOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mtim;
}

} // namespace

// What is at a staged path when its move comes must be what was there when the run started.
TEST(MoveToFolderSafety, AFileChangedOrReplacedSinceTheRunStartedIsKept) {
    MoveHarness h;
    const MediaFile a = h.makeFile("Day1/a.mov", 4);
    const MediaFile grown = h.makeFile("Day1/grown.mov", 4);
    const MediaFile replaced = h.makeFile("Day1/replaced.mov", 4);
    h.stage({a, grown, replaced}, {a, grown, replaced});
    const struct timespec then = mtimeOf(replaced.path);
    h.files->setBeforeEach([&, done = false](Op op, const QString& path) mutable {
        if (op != Op::moveNoReplace || path != a.path || done)
            return;
        done = true;
        QFile more(grown.path);
        ASSERT_TRUE(more.open(QIODevice::Append));
        more.write("render");
        more.close();
        // Another file under the same name, size and time: only its identity tells.
        ASSERT_TRUE(writeFile(replaced.path + ".new", "nnnn"));
        ASSERT_EQ(::rename(QFile::encodeName(replaced.path + ".new").constData(),
                           QFile::encodeName(replaced.path).constData()),
                  0);
        setMtime(replaced.path, then);
    });

    const ActionResult result = h.moveBin();
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_EQ(result.errors, (QStringList{"grown.mov: changed while moving — kept",
                                          "replaced.mov: changed while moving — kept"}));
    EXPECT_EQ(contentOf(grown.path), "mmmmrender");
    EXPECT_EQ(contentOf(replaced.path), "nnnn");
    EXPECT_FALSE(QFileInfo::exists(h.archived(grown.path)));
    EXPECT_FALSE(QFileInfo::exists(h.archived(replaced.path)));
    EXPECT_EQ(h.binPaths(), (QStringList{grown.path, replaced.path}));
    EXPECT_TRUE(h.log.contains("❌ Move failed: grown.mov - changed while moving — kept"));
}

// A killed cross-device move left its copy complete at the destination and the source (or what
// is left of a container) in place: the retry finishes that move, no numbered duplicate.
TEST(MoveToFolderSafety, ARetryFinishesAnInterruptedMoveInsteadOfDuplicatingIt) {
    MoveHarness h;
    // The retry knows its copy by the source the copy names in a user attribute.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, h.archive());
    h.files = std::make_shared<FaultInjectingFileOperations>(std::make_shared<test::SteppedFileOperations>());
    const MediaFile clip = h.makeFile("Day1/a.mov", 5000);
    const MediaFile segment1 = h.makeFile("Cards/A001.RDC/A001_001.R3D", 3000);
    const MediaFile segment2 = h.makeFile("Cards/A001.RDC/A001_002.R3D", 2000);
    const QString container = h.mediaPath("Cards/A001.RDC");
    interruptedMove(clip.path, h.archived(clip.path), 0);
    interruptedMove(container, h.archived(container), 1);
    h.stage({clip, segment1, segment2}, {clip, segment1, segment2});

    const ActionResult result = h.moveList({clip, segment1, segment2});
    EXPECT_EQ(result.succeeded, 3) << result.errors.join('\n').toStdString();
    EXPECT_FALSE(QFileInfo::exists(clip.path));
    EXPECT_FALSE(QFileInfo::exists(container));
    EXPECT_EQ(contentOf(h.archived(clip.path)), QByteArray(5000, 'm'));
    EXPECT_EQ(contentOf(h.archived(segment1.path)), QByteArray(3000, 'm'));
    EXPECT_EQ(contentOf(h.archived(segment2.path)), QByteArray(2000, 'm'));
    EXPECT_FALSE(QFileInfo::exists(h.archived(h.mediaPath("Day1/a_1.mov"))));
    EXPECT_FALSE(QFileInfo::exists(h.archived(h.mediaPath("Cards/A001_1.RDC"))));
    EXPECT_EQ(h.entry(clip.path)->movedToPath, h.archived(clip.path));
    EXPECT_EQ(h.entry(segment1.path)->movedToPath, h.archived(container));
}

// Temporaries of a killed move are swept when a run next moves into their folder: only ours,
// only when their writer is gone, one look per folder per run.
TEST(MoveToFolderSafety, LeftoversOfAKilledMoveAreSweptFromTheFoldersARunTouches) {
    MoveHarness h;
    const MediaFile a = h.makeFile("Day1/a.mov", 4);
    const MediaFile b = h.makeFile("Day1/b.mov", 4);
    h.stage({a, b}, {a, b});
    const QString folder = h.archived(h.mediaPath("Day1"));
    const QString abandonedFile = folder + "/.a.mov.tarnwick-move-AbCdEf";
    const QString abandonedFolder = folder + "/.A002.RDC.tarnwick-move-GhIjKl";
    const QString live = folder + "/.c.mov.tarnwick-move-MnOpQr";
    const QString unmarked = folder + "/.d.mov.tarnwick-move-StUvWx";
    ASSERT_TRUE(writeFile(abandonedFile, "partial"));
    ASSERT_TRUE(writeFile(abandonedFolder + "/A002_001.R3D", "partial"));
    ASSERT_TRUE(writeFile(live, "in flight"));
    ASSERT_TRUE(writeFile(unmarked, "someone's"));
    markAbandoned(abandonedFile);
    markAbandoned(abandonedFolder);
    ASSERT_TRUE(leftover::mark(QFile::encodeName(live), -1));

    EXPECT_EQ(h.moveBin().succeeded, 2);
    EXPECT_FALSE(QFileInfo::exists(abandonedFile));
    EXPECT_FALSE(QFileInfo::exists(abandonedFolder));
    EXPECT_EQ(contentOf(live), "in flight");
    EXPECT_EQ(contentOf(unmarked), "someone's");
    // Where marks are sidecars, each sidecar is tried as well.
    if (keepsUserAttributes(folder).empty()) {
        EXPECT_EQ(h.files->count(Op::removeLeftover), 4);
    }
    EXPECT_EQ(h.log.messages().filter("Removed leftover").size(), 2);
    EXPECT_TRUE(h.log.contains("Removed leftover " + abandonedFile + " (written by process "));
}

// The root as archive folder would leave each file where it is, renamed: refused up front.
// A folder that leads back to a file's own folder through a link refuses that file alone.
TEST(MoveToFolderSafety, AFolderThatWouldRenameFilesInPlaceIsRefused) {
    MoveHarness h;
    const MediaFile clip = h.makeFile("Day1/a.mov", 4);
    h.stage({clip}, {clip});
    const QString rootLink = h.archive() + "/root";
    ASSERT_EQ(::symlink("/", QFile::encodeName(rootLink).constData()), 0);
    for (const QString& folder : {QStringLiteral("/"), rootLink}) {
        const ActionResult refused = h.moveBinTo(folder);
        EXPECT_TRUE(refused.refused);
        EXPECT_EQ(refused.failed, 1);
        EXPECT_EQ(refused.errors, QStringList{"The archive folder " + folder +
                                              " is the root folder: each file would stay in its own "
                                              "folder. Nothing was moved."});
    }
    EXPECT_EQ(h.files->count(Op::moveNoReplace), 0);
    EXPECT_TRUE(h.log.contains("Moving to a folder refused: The archive folder / is the root folder: each "
                               "file would stay in its own folder. Nothing was moved."));

    // archive/<first component> links to /<first component>: the destination is the source itself.
    const QString first = h.mediaDir.path().section('/', 1, 1);
    const QString backLink = h.archive() + "/" + first;
    ASSERT_EQ(::symlink(QFile::encodeName("/" + first).constData(), QFile::encodeName(backLink).constData()),
              0);
    const ActionResult result = h.moveBin();
    EXPECT_EQ(result.succeeded, 0);
    EXPECT_EQ(result.errors, QStringList{"a.mov: the destination is the file's own folder — kept"});
    EXPECT_EQ(QDir(h.mediaPath("Day1")).entryList(QDir::Files), QStringList{"a.mov"});
    EXPECT_EQ(h.binPaths(), QStringList{clip.path});
    EXPECT_TRUE(h.audit.entries().isEmpty());
    EXPECT_FALSE(QFile::exists(h.stats.fileName()));
}
