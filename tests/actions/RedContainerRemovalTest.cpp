#include "actions/RemovalRun.h"
#include "support/CleanupHarness.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace tarnwick;
using namespace tarnwick::testing;
using Op = FaultInjectingFileOperations::Op;

TEST(RedContainerRemoval, TwoSegmentsRemoveTheContainerOnceAndUnstagedMembersCountAsDeleted) {
    for (const bool toTrash : {true, false}) {
        CleanupHarness h;
        h.pm().updateOptions([](CleanupOptions& options) { options.writeTraceFiles = true; });
        const MediaFile first = h.makeFile("Day1/A001_C002.RDC/A001_C002_001.R3D", 100);
        const MediaFile second = h.makeFile("Day1/A001_C002.RDC/A001_C002_002.r3d", 50);
        const MediaFile unstaged = h.makeFile("Day1/A001_C002.RDC/A001_C002_003.R3D", 25);
        h.stage({first, second, unstaged}, {first, second});

        const ActionResult result = QCoro::waitFor(runRemoval(
            h.pm(), h.services(), toTrash ? RemovalMethod::trash : RemovalMethod::deletePermanently));
        EXPECT_EQ(result.succeeded, 2);
        EXPECT_EQ(result.failed, 0);
        EXPECT_FALSE(QFileInfo::exists(h.mediaPath("Day1/A001_C002.RDC")));
        EXPECT_TRUE(h.pm().recycleBin().isEmpty());
        EXPECT_EQ(h.entry(second.path)->status, MediaFileStatus::deleted);
        EXPECT_EQ(h.entry(unstaged.path)->status, MediaFileStatus::deleted);
        EXPECT_EQ(h.audit.entries().size(), 2); // none for the unstaged member
        EXPECT_EQ(h.stats.stats().spaceSavedBytes, 100);
        EXPECT_EQ(h.files->destructivePaths(), QStringList{h.mediaPath("Day1/A001_C002.RDC")});
        const QString verb = toTrash ? "Trashing" : "Permanently deleting";
        EXPECT_TRUE(h.log.contains("R3D: " + verb + " .RDC container " + h.mediaPath("Day1/A001_C002.RDC") +
                                   " for A001_C002_001.R3D"));
        // One trace record, in the container's parent folder.
        EXPECT_EQ(QDir(h.mediaPath("Day1")).entryList({"Tarnwick_Trace_*"}).size(), 1);
    }
}

TEST(RedContainerRemoval, AUsedMemberSpelledInAnotherCaseProtectsTheContainer) {
    CleanupHarness h;
    const MediaFile staged = h.makeFile("A001_C002.RDC/A001_C002_001.R3D");
    MediaFile used = media(h.mediaPath("a001_c002.rdc/A001_C002_002.R3D"), 1);
    used.projectNames = {"Cut 1", "Cut 2"};
    h.stage({staged, used}, {staged});

    const ActionResult result = QCoro::waitFor(runRemoval(h.pm(), h.services(), RemovalMethod::trash));
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.errors, QStringList{"A001_C002_001.R3D: skipped — its .RDC container also holds "
                                         "A001_C002_002.R3D, used in Cut 1, Cut 2"});
    EXPECT_TRUE(QFile::exists(staged.path));
    EXPECT_EQ(h.entry(staged.path)->status, MediaFileStatus::inRecycleBin);
    EXPECT_TRUE(h.log.contains("R3D: refused to trash container " + h.mediaPath("A001_C002.RDC") +
                               " — used member A001_C002_002.R3D inside"));
}

TEST(RedContainerRemoval, AMovedOrDeletedMemberDoesNotBlock) {
    CleanupHarness h;
    const MediaFile staged = h.makeFile("B.RDC/B_001.R3D");
    MediaFile gone = media(h.mediaPath("B.RDC/B_002.R3D"), 3, MediaFileStatus::moved);
    h.stage({staged, gone}, {staged});
    EXPECT_EQ(QCoro::waitFor(runRemoval(h.pm(), h.services(), RemovalMethod::deletePermanently)).succeeded,
              1);
    EXPECT_FALSE(QFileInfo::exists(h.mediaPath("B.RDC")));
}

// A container removed halfway: the segment it took is recorded at once, though both stay staged;
// the retry removes the rest and records only what it took.
TEST(RedContainerRemoval, AHalfRemovedContainerRecordsEachSegmentByItsOwnPlaceOnce) {
    CleanupHarness h;
    const MediaFile first = h.makeFile("C.RDC/C_001.R3D", 100);
    const MediaFile second = h.makeFile("C.RDC/C_002.R3D", 50);
    h.files->failTreePartly(h.mediaPath("C.RDC"), second.path, EACCES, "1 item(s) could not be removed");
    h.stage({first, second}, {first, second});

    const ActionResult result =
        QCoro::waitFor(runRemoval(h.pm(), h.services(), RemovalMethod::deletePermanently));
    EXPECT_EQ(result.succeeded, 0);
    EXPECT_EQ(result.failed, 2);
    EXPECT_EQ(result.errors, QStringList({"C_001.R3D: 1 item(s) could not be removed",
                                          "C_002.R3D: 1 item(s) could not be removed"}));
    EXPECT_EQ(h.binPaths(), QStringList({first.path, second.path}));
    EXPECT_EQ(h.entry(first.path)->status, MediaFileStatus::inRecycleBin);
    EXPECT_TRUE(QFile::exists(second.path));
    ASSERT_EQ(h.audit.entries().size(), 1);
    EXPECT_EQ(h.audit.entries().at(0).filePath, first.path);
    EXPECT_EQ(h.stats.stats().filesDeleted, 1);
    EXPECT_EQ(h.stats.stats().spaceSavedBytes, 100);

    h.files->clearFaults();
    const ActionResult retry =
        QCoro::waitFor(runRemoval(h.pm(), h.services(), RemovalMethod::deletePermanently));
    EXPECT_EQ(retry.succeeded, 2);
    EXPECT_FALSE(QFileInfo::exists(h.mediaPath("C.RDC")));
    ASSERT_EQ(h.audit.entries().size(), 2);
    EXPECT_EQ(h.audit.entries().at(1).filePath, second.path);
    EXPECT_EQ(h.stats.stats().filesDeleted, 2);
    EXPECT_EQ(h.stats.stats().spaceSavedBytes, 100);
}

TEST(RedContainerRemoval, AProtectedContainerKeepsItsSegments) {
    CleanupHarness h;
    const MediaFile staged = h.makeFile("Vault/D.RDC/D_001.R3D");
    h.folders.add(h.mediaPath("Vault"));
    h.stage({staged}, {staged});
    const ActionResult result = QCoro::waitFor(runRemoval(h.pm(), h.services(), RemovalMethod::trash));
    EXPECT_EQ(result.errors, QStringList{"D_001.R3D: in a protected folder — skipped"});
    EXPECT_TRUE(h.log.contains("Protected: skipped trashing " + h.mediaPath("Vault/D.RDC")));
    EXPECT_TRUE(QFile::exists(staged.path));
}
