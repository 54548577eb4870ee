#include "actions/PermanentDeletion.h"
#include "actions/TrashAction.h"
#include "support/CleanupHarness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;
using Op = FaultInjectingFileOperations::Op;

namespace {

ActionResult deleteAll(CleanupHarness& h) {
    return QCoro::waitFor(PermanentDeletion::permanentlyDelete(h.pm(), h.services()));
}

} // namespace

TEST(PermanentDeletion, RemovesFilesWithoutATrashCopyAndRecordsThem) {
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

TEST(PermanentDeletion, FailuresAndProtectedFilesKeepTheirStatusAndStayStaged) {
    CleanupHarness h;
    const MediaFile locked = h.makeFile("locked.mov");
    const MediaFile kept = h.makeFile("Vault/kept.mov");
    const MediaFile fine = h.makeFile("fine.mov");
    h.stage({locked, kept, fine}, {locked, kept, fine});
    h.pm().modifyMediaFiles([](QList<MediaFile>& list) { list[0].status = MediaFileStatus::online; });
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

TEST(PermanentDeletion, WorksOnWhatAnEarlierTrashRunLeftInTheBin) {
    CleanupHarness h;
    const MediaFile a = h.makeFile("a.mov");
    const MediaFile b = h.makeFile("b.mov");
    h.stage({a, b}, {a, b});
    h.files->fail(Op::moveToTrash, b.path, EXDEV, "No Trash can be used on the volume at /mnt/x");
    QCoro::waitFor(TrashAction::moveToTrash(h.pm(), h.services()));
    ASSERT_EQ(h.binPaths(), QStringList{b.path});

    const ActionResult result = deleteAll(h);
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_FALSE(QFileInfo::exists(b.path));
    EXPECT_EQ(h.files->count(Op::removeFile), 1);
}

// Names of one file free its bytes once, when the last of them goes; one whose other name stays
// frees nothing. Both removals count it the same way.
TEST(PermanentDeletion, HardLinkedNamesCountTheBytesTheyFreeOnce) {
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
            toTrash ? QCoro::waitFor(TrashAction::moveToTrash(h.pm(), h.services())) : deleteAll(h);
        EXPECT_EQ(result.succeeded, 3);
        EXPECT_EQ(h.stats.stats().filesDeleted, 3) << toTrash;
        EXPECT_EQ(h.stats.stats().spaceSavedBytes, 100000) << toTrash;
        EXPECT_EQ(h.audit.entries().size(), 3);
    }
}
