#include "actions/RemovalRules.h"
#include "actions/RemovalRun.h"
#include "analysis/FileStatusChecker.h"
#include "analysis/UsageAggregator.h"
#include "support/CleanupHarness.h"
#include "support/FileChanges.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;
using Op = FaultInjectingFileOperations::Op;

namespace {

ActionResult deleteAll(CleanupHarness& h) {
    return QCoro::waitFor(runRemoval(h.pm(), h.services(), RemovalMethod::deletePermanently));
}

} // namespace

TEST(RemovalRunDeletion, RemovesFilesWithoutATrashCopyAndRecordsThem) {
    CleanupHarness h;
    h.pm().updateOptions([](CleanupOptions& options) { options.writeTraceFiles = true; });
    MediaFile a = h.makeFile("Day 1/a take.mov", 7);
    a.projectNames = {"Edit"};
    const MediaFile b = h.makeFile("Day 1/b.mov", 3);
    h.stage({a, b}, {a, b});

    const ActionResult result = deleteAll(h);
    EXPECT_EQ(result.succeeded, 2);
    EXPECT_FALSE(QFileInfo::exists(a.path));
    EXPECT_FALSE(QFileInfo::exists(h.trashFolder() + "/files/a take.mov"));
    EXPECT_EQ(h.entry(a.path)->status, MediaFileStatus::deleted);
    ASSERT_EQ(h.audit.entries().size(), 2);
    EXPECT_EQ(h.audit.entries()[0].action, AuditAction::deletedPermanently);
    EXPECT_EQ(h.stats.stats().filesDeleted, 2);
    EXPECT_EQ(h.stats.stats().spaceSavedBytes, 10);
    const QStringList traces = QDir(h.mediaPath("Day 1")).entryList({"Tarnwick_Trace_*"});
    ASSERT_EQ(traces, QStringList{"Tarnwick_Trace_2025-03-14 09-26-53.txt"});
    QFile trace(h.mediaPath("Day 1/") + traces[0]);
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(trace.readAll());
    EXPECT_TRUE(text.contains("    Action: Permanently Deleted\n"));
    EXPECT_TRUE(text.contains("Files Removed: 2\n"));
    EXPECT_TRUE(h.log.contains("👆 User: Permanently deleting 2 file(s)"));
    EXPECT_TRUE(h.log.contains("Permanent deletion complete: 2 succeeded, 0 failed"));
}

TEST(RemovalRunDeletion, FailuresAndProtectedFilesKeepTheirStatusAndStayStaged) {
    CleanupHarness h;
    const MediaFile locked = h.makeFile("locked.mov");
    const MediaFile kept = h.makeFile("Vault/kept.mov");
    const MediaFile fine = h.makeFile("fine.mov");
    h.stage({locked, kept, fine}, {locked, kept, fine});
    h.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& list) {
        list[0].status = MediaFileStatus::online;
    });
    h.folders.add(h.mediaPath("Vault"));
    h.files->fail(Op::removeFile, locked.path, EACCES);

    const ActionResult result = deleteAll(h);
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_EQ(result.failed, 2);
    EXPECT_EQ(result.errors,
              QStringList({"locked.mov: Permission denied", "kept.mov: in a protected folder — skipped"}));
    EXPECT_EQ(h.binPaths(), QStringList({locked.path, kept.path}));
    // Deletion leaves a refused entry's status as it was.
    EXPECT_EQ(h.entry(locked.path)->status, MediaFileStatus::online);
    EXPECT_EQ(h.entry(kept.path)->status, MediaFileStatus::inRecycleBin);
    EXPECT_TRUE(h.log.contains("Protected: skipped permanently deleting " + kept.path));
    EXPECT_EQ(h.stats.stats().filesDeleted, 1);
}

TEST(RemovalRunDeletion, WorksOnWhatAnEarlierTrashRunLeftInTheBin) {
    CleanupHarness h;
    const MediaFile a = h.makeFile("a.mov");
    const MediaFile b = h.makeFile("b.mov");
    h.stage({a, b}, {a, b});
    h.files->fail(Op::moveToTrash, b.path, EXDEV, "No Trash can be used on the volume at /mnt/x");
    QCoro::waitFor(runRemoval(h.pm(), h.services(), RemovalMethod::trash));
    ASSERT_EQ(h.binPaths(), QStringList{b.path});

    const ActionResult result = deleteAll(h);
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_FALSE(QFileInfo::exists(b.path));
    EXPECT_EQ(h.files->count(Op::removeFile), 1);
}

// Names of one file free its bytes once, when the last of them goes; one whose other name stays
// frees nothing. Both removals count it the same way.
TEST(RemovalRunDeletion, HardLinkedNamesCountTheBytesTheyFreeOnce) {
    for (const bool toTrash : {false, true}) {
        CleanupHarness h;
        const MediaFile a = h.makeFile("a.mov", 100000);
        MediaFile b = a;
        b.path = h.mediaPath("b.mov");
        ASSERT_EQ(::link(QFile::encodeName(a.path).constData(), QFile::encodeName(b.path).constData()), 0);
        const MediaFile c = h.makeFile("c.mov", 5000);
        MediaFile kept = c;
        kept.path = h.mediaPath("kept elsewhere.mov");
        ASSERT_EQ(::link(QFile::encodeName(c.path).constData(), QFile::encodeName(kept.path).constData()), 0);
        h.stage({a, b, c}, {a, b, c});

        const ActionResult result =
            toTrash ? QCoro::waitFor(runRemoval(h.pm(), h.services(), RemovalMethod::trash)) : deleteAll(h);
        EXPECT_EQ(result.succeeded, 3);
        EXPECT_EQ(h.stats.stats().filesDeleted, 3) << toTrash;
        EXPECT_EQ(h.stats.stats().spaceSavedBytes, 100000) << toTrash;
        EXPECT_EQ(h.audit.entries().size(), 3);
    }
}

// What a name held when the user confirmed the run is what may go: a file that took the staged
// name, grew or was touched while the run waited for its turn is kept and reported, with no record.
TEST(RemovalRunDeletion, BothRemovalsKeepFilesThatChangedAfterTheRunWasConfirmed) {
    for (const bool toTrash : {false, true}) {
        CleanupHarness h;
        const MediaFile replaced = h.makeFile("replaced.mov", 1000);
        const MediaFile grown = h.makeFile("grown.mov", 10);
        const MediaFile touched = h.makeFile("touched.mov", 10);
        const MediaFile same = h.makeFile("same.mov", 10);
        h.stage({replaced, grown, touched, same}, {replaced, grown, touched, same});
        auto import = h.pm().tryBeginOperation("Importing…");
        ASSERT_TRUE(import);
        auto run = runRemoval(h.pm(), h.services(),
                              toTrash ? RemovalMethod::trash : RemovalMethod::deletePermanently);
        ASSERT_TRUE(QTest::qWaitFor([&] { return h.files->count(Op::status) >= 4; }, 60000));
        ASSERT_TRUE(changeFile(replaced.path, FileChange::replaced));
        ASSERT_TRUE(changeFile(grown.path, FileChange::grown));
        ASSERT_TRUE(changeFile(touched.path, FileChange::touched));
        import->release();
        const ActionResult result = QCoro::waitFor(run);

        EXPECT_EQ(result.succeeded, 1);
        EXPECT_EQ(result.errors, QStringList({"replaced.mov: changed since it was staged — kept",
                                              "grown.mov: changed since it was staged — kept",
                                              "touched.mov: changed since it was staged — kept"}));
        EXPECT_EQ(QFileInfo(replaced.path).size(), 5000);
        EXPECT_TRUE(QFile::exists(grown.path) && QFile::exists(touched.path));
        EXPECT_FALSE(QFileInfo::exists(same.path));
        EXPECT_EQ(h.binPaths(), QStringList({replaced.path, grown.path, touched.path}));
        ASSERT_EQ(h.audit.entries().size(), 1);
        EXPECT_EQ(h.audit.entries()[0].filePath, same.path);
        EXPECT_EQ(h.stats.stats().filesDeleted, 1);
        EXPECT_EQ(h.stats.stats().spaceSavedBytes, 10);
    }
}

// A file put in the staged file's place at the last moment, after the run's own look, is still
// kept: the removal itself compares right before it acts.
TEST(RemovalRunDeletion, AFileReplacedRightBeforeItsRemovalIsKept) {
    for (const Op op : {Op::removeFile, Op::moveToTrash}) {
        CleanupHarness h;
        const MediaFile staged = h.makeFile("clip.mov", 1000);
        h.stage({staged}, {staged});
        h.files->setBeforeEach([&](Op called, const QString& path) {
            if (called == op && path == staged.path)
                changeFile(path, FileChange::replaced);
        });
        const ActionResult result =
            op == Op::moveToTrash ? QCoro::waitFor(runRemoval(h.pm(), h.services(), RemovalMethod::trash))
                                  : deleteAll(h);
        EXPECT_EQ(result.errors, QStringList{"clip.mov: changed since it was staged — kept"});
        EXPECT_EQ(QFileInfo(staged.path).size(), 5000);
        EXPECT_TRUE(h.audit.entries().isEmpty());
        EXPECT_EQ(h.stats.stats().filesDeleted, 0);
    }
}

// A project may spell a name composed while the disk holds it decomposed (or the other way): the
// status check finds the file under the spelling the disk has, and the removal acts on that one.
TEST(RemovalRunDeletion, AFileOnDiskUnderTheOtherUnicodeSpellingIsFoundAndRemovedThere) {
    CleanupHarness h;
    const MediaFile onDisk = h.makeFile(QStringLiteral("Cafe\u0301/sce\u0300ne.mov"), 5);
    const QString composed = onDisk.path.normalized(QString::NormalizationForm_C);
    ASSERT_NE(composed, onDisk.path);
    ASSERT_FALSE(QFileInfo::exists(composed)) << "a name is its bytes here";
    const FileStatusResult checked = FileStatusChecker().makeFileStatusResult(composed, {}, {});
    EXPECT_EQ(checked.status, MediaFileStatus::online);
    EXPECT_EQ(checked.resolvedPath, onDisk.path);
    EXPECT_EQ(checked.size, 5);
    const MediaFile entry = scannedMediaEntry(checked);
    EXPECT_EQ(entry.path, composed);
    EXPECT_EQ(RemovalRules::workingPath(entry), onDisk.path);
    h.stage({entry}, {entry});

    const ActionResult result = deleteAll(h);
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_FALSE(QFileInfo::exists(onDisk.path));
    EXPECT_EQ(h.entry(composed)->status, MediaFileStatus::deleted);
}
