// Our temporaries left by a killed process, whatever operation made them, are swept from a folder
// the next operation touches; a sweep takes only what carries our mark under its own name.
#include "platform/LeftoverSweep.h"

#include "platform/AppLog.h"
#include "platform/FileMover.h"
#include "platform/LeftoverMark.h"
#include "platform/LinuxFileOperations.h"

#include "FileMoveTestSupport.h"
#include "support/AbandonedLeftover.h"
#include "support/FileSystemProbes.h"

#include "support/LoggedFolderFixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::testing::inKilledChild;
using tarnwick::testing::leaveAbandonedTranscodeOutput;

namespace {

class LeftoverSweepTest : public tarnwick::testing::LoggedFolderFixture {};

} // namespace

// A folder move between devices killed right after it made its temporary folder (here: at the
// first bytes of the first file) leaves a marked folder, which a sweep takes.
TEST_F(LeftoverSweepTest, AKilledFolderMoveLeavesAMarkedTemporaryFolderThatIsSwept) {
    // Elsewhere the folder's mark is a sidecar beside it.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, dir.path());
    ASSERT_TRUE(writeBytes(at("media/A001.RDC/A001_001.R3D"), patternBytes(4096)));
    ASSERT_TRUE(QDir().mkpath(at("archive")));
    inKilledChild([&] {
        FileMoveSteps steps = crossDeviceSteps();
        steps.copyChunk = [](int, int, qint64) -> qint64 {
            ::raise(SIGKILL);
            return -1;
        };
        FileMover(steps).moveNoReplace(at("media/A001.RDC"), at("archive/A001.RDC"));
    });
    const QStringList left = temporaryLeftovers(at("archive"));
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(QFileInfo(left.first()).fileName().startsWith(".A001.RDC.tarnwick-move-"));
    EXPECT_EQ(leftover::judge(QFile::encodeName(left.first())), leftover::Verdict::abandoned);

    LeftoverSweep::sweepFolder(ops, at("archive"));
    EXPECT_TRUE(QDir(at("archive")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_EQ(logged.filter("Removed leftover").size(), 1);
    EXPECT_TRUE(QFile::exists(at("media/A001.RDC/A001_001.R3D")));
}

// The folder carries the mark from the moment it exists; the name is never made twice.
TEST_F(LeftoverSweepTest, AMarkedFolderIsOursFromItsFirstMomentAndRefusesATakenName) {
    const QByteArray folder = QFile::encodeName(at(".clip.RDC.tarnwick-move-abcdef"));
    inKilledChild([&] { leftover::makeMarkedFolder(folder, "source"); });
    EXPECT_EQ(leftover::judge(folder), leftover::Verdict::abandoned);
    EXPECT_FALSE(leftover::makeMarkedFolder(folder));
    EXPECT_EQ(errno, EEXIST);
    ASSERT_TRUE(ops.removeLeftover(QFile::decodeName(folder)).ok());
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

// Every kind of ours goes at once, once per folder per run; what is not provably ours stays.
TEST_F(LeftoverSweepTest, SweepsEveryKindOfOursOncePerFolderAndNothingElse) {
    // Elsewhere the marks are sidecars, and the one of a file renamed into place stays beside it.
    FILE_SYSTEM_OR_SKIP(keepsUserAttributes, dir.path());
    ASSERT_TRUE(QDir().mkpath(at("Day 1")));
    leaveAbandonedTranscodeOutput(at("Day 1/clip_transcoding.mov"), "clip_transcoding.mov");
    // Renamed into place before its mark came off: a real file now.
    leaveAbandonedTranscodeOutput(at("Day 1/clip.mov"), "clip_transcoding_1.mov");
    ASSERT_TRUE(writeBytes(at("Day 1/other_transcoding.mov"), "not ours"));
    ASSERT_TRUE(writeBytes(at("Day 1/.b.mov.tarnwick-move-zzzzzz"), "not ours"));
    inKilledChild(
        [&] { leftover::makeMarkedFolder(QFile::encodeName(at("Day 1/.a.RDC.tarnwick-move-q1w2e3"))); });
    const QStringList kept{"clip.mov", "other_transcoding.mov", ".b.mov.tarnwick-move-zzzzzz"};

    LeftoverSweep sweep;
    sweep.sweep(ops, at("Day 1"));
    const auto names = [&] {
        QStringList found =
            QDir(at("Day 1")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        found.sort();
        return found;
    };
    QStringList expected = kept;
    expected.sort();
    EXPECT_EQ(names(), expected);
    EXPECT_EQ(logged.filter("Removed leftover").size(), 2);

    leaveAbandonedTranscodeOutput(at("Day 1/clip_transcoding.mov"), "clip_transcoding.mov");
    sweep.sweep(ops, at("Day 1")); // once per run
    EXPECT_TRUE(QFile::exists(at("Day 1/clip_transcoding.mov")));
    LeftoverSweep().sweep(ops, at("Day 1")); // the next run
    EXPECT_EQ(names(), expected);
}
