#include "actions/MoveToFolderAction.h"
#include "actions/ArchiveDestination.h"
#include "actions/FolderMovePipeline.h"
#include "support/MoveHarness.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;
using Op = FaultInjectingFileOperations::Op;
using Numbering = ArchiveDestination::Numbering;

namespace {

QStringList traceFilesBelow(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, {"Tarnwick_Trace_*.txt"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    return found;
}

} // namespace

namespace tarnwick::test {

// A tmpfs, so a move crosses a device. Root only.
class TmpfsMountForActions {
public:
    TmpfsMountForActions() {
        if (::geteuid() == 0 && m_dir.isValid())
            m_mounted = ::mount("tarnwick-test", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                                "size=32m") == 0;
    }
    ~TmpfsMountForActions() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    bool isMounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace tarnwick::test

TEST(ArchiveDestination, KeepsTheWholeFormerPathUnderTheFolder) {
    EXPECT_EQ(ArchiveDestination::destinationFor("/Volumes/Media/Day1/A001.mov", "/Volumes/Archive"),
              "/Volumes/Archive/Volumes/Media/Day1/A001.mov");
    EXPECT_EQ(ArchiveDestination::destinationFor("/Users/editor/Movies/B.mov", "/Volumes/Archive/"),
              "/Volumes/Archive/Users/editor/Movies/B.mov");
    EXPECT_EQ(ArchiveDestination::destinationFor("Relative/C.mov", "/Volumes/Archive"),
              "/Volumes/Archive/Relative/C.mov");
}

// A path's ".." components must never lead out of the chosen folder.
TEST(ArchiveDestination, CleansDotDotAndRefusesWhatWouldLeaveTheFolder) {
    EXPECT_FALSE(ArchiveDestination::destinationFor("/a/../../../x/clip.mov", "/Volumes/Archive"));
    EXPECT_EQ(ArchiveDestination::destinationFor("/Media/./Day1/../Day2/clip.mov", "/Archive"),
              "/Archive/Media/Day2/clip.mov");
    EXPECT_FALSE(ArchiveDestination::destinationFor("../../x/clip.mov", "/Volumes/Archive"));
    EXPECT_FALSE(ArchiveDestination::destinationFor("a/../../clip.mov", "/Volumes/Archive"));
    EXPECT_FALSE(ArchiveDestination::destinationFor("/", "/Volumes/Archive"));
    EXPECT_FALSE(ArchiveDestination::destinationFor("..", "/Volumes/Archive"));
}

TEST(ArchiveDestination, NumbersTakenNamesPerVariant) {
    const QString d = "/Archive/Day1/A001.MOV";
    EXPECT_EQ(ArchiveDestination::candidate(d, 1, Numbering::binFile, "/Day1/A001.MOV"),
              "/Archive/Day1/A001_1.mov");
    EXPECT_EQ(ArchiveDestination::candidate(d, 2, Numbering::binFile, "/Day1/A001.MOV"),
              "/Archive/Day1/A001_2.mov");
    // A relocated file is numbered after the name of its path.
    EXPECT_EQ(ArchiveDestination::candidate("/Archive/New/Found.MOV", 1, Numbering::binFile, "/Old/A001.MOV"),
              "/Archive/New/A001_1.mov");
    EXPECT_EQ(ArchiveDestination::candidate("/Archive/README", 1, Numbering::binFile, "/README"),
              "/Archive/README_1");
    EXPECT_EQ(ArchiveDestination::candidate(d, 1, Numbering::listFile, "/Day1/A001.MOV"),
              "/Archive/Day1/A001_1.MOV");
    EXPECT_EQ(ArchiveDestination::candidate("/Archive/README", 1, Numbering::listFile, "/README"),
              "/Archive/README_1");
    EXPECT_EQ(ArchiveDestination::candidate("/Archive/A001.rdc", 3, Numbering::listContainer, ""),
              "/Archive/A001_3.RDC");
}

TEST(MoveToFolderAction, MovesTheBinKeepingEachFilesPathWithItsRecords) {
    MoveHarness h;
    MediaFile spaced = h.makeFile("Day 1/Take one.mov", 10);
    spaced.projectNames = {"Promo"};
    const MediaFile cjk =
        h.makeFile(QString::fromUtf8("\xE6\x92\xAE\xE5\xBD\xB1/\xE7\xB4\xA0\xE6\x9D\x90.mov"), 30);
    h.stage({spaced, cjk}, {spaced, cjk});

    const ActionResult result = h.moveBin();
    EXPECT_EQ(result.succeeded, 2);
    EXPECT_EQ(result.failed, 0);
    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
    for (const MediaFile& file : {spaced, cjk}) {
        EXPECT_FALSE(QFileInfo::exists(file.path));
        EXPECT_EQ(contentOf(h.archived(file.path)).size(), file.size);
        EXPECT_EQ(h.entry(file.path)->status, MediaFileStatus::moved);
        EXPECT_EQ(h.entry(file.path)->movedToPath, h.archived(file.path));
    }
    ASSERT_EQ(h.audit.entries().size(), 2);
    EXPECT_EQ(h.audit.entries()[0].action, AuditAction::movedToFolder);
    EXPECT_EQ(h.audit.entries()[0].destinationPath, h.archived(spaced.path));
    EXPECT_EQ(h.stats.stats().filesMoved, 2);
    EXPECT_EQ(h.stats.stats().spaceSavedBytes, 40);
    EXPECT_EQ(h.pm().moveProgress().moveFilesCompleted, 2);
    EXPECT_DOUBLE_EQ(h.pm().moveProgress().moveProgressFraction, 1.0);
    EXPECT_FALSE(h.pm().moveProgress().isMoveInProgress);
    EXPECT_TRUE(h.log.contains("👆 User: Moving 2 recycle bin file(s) to " + h.archive() +
                               " with directory preservation"));
    EXPECT_TRUE(h.log.contains("📦 Moved: Take one.mov → " + h.archived(h.mediaPath("Day 1"))));
    EXPECT_TRUE(h.log.contains("Recycle bin move complete: 2 succeeded, 0 failed"));
}

// Each change of the media list makes the views and the sort keys start over: the moved files reach
// it together, at most once a second and at the end, whatever their number.
TEST(MoveToFolderAction, MovedFilesReachTheMediaListInFewChanges) {
    MoveHarness h;
    QList<MediaFile> staged;
    for (int i = 0; i < 300; ++i)
        staged.append(h.makeFile(QStringLiteral("Card %1/A%2.mov").arg(i % 3).arg(i), 1));
    const MediaFile kept = h.makeFile("Card 0/kept.mov", 1);
    h.stage(staged + QList<MediaFile>{kept}, staged);
    const qint64 before = h.pm().mediaFilesVersion();

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(h.moveBin().succeeded, 300);
    // The summary's refresh at the end is a change of its own.
    const qint64 changes = h.pm().mediaFilesVersion() - before - 1;
    EXPECT_GE(changes, 1);
    EXPECT_LE(changes, 1 + clock.elapsed() / 1000);
    for (const MediaFile& file : staged) {
        EXPECT_EQ(h.entry(file.path)->status, MediaFileStatus::moved);
        EXPECT_EQ(h.entry(file.path)->movedToPath, h.archived(file.path));
    }
    EXPECT_EQ(h.entry(kept.path)->status, kept.status);
    EXPECT_FALSE(h.entry(kept.path)->movedToPath);
}

TEST(MoveToFolderAction, TakenNamesAreNumberedAndNeverOverwritten) {
    MoveHarness h;
    const MediaFile clip = h.makeFile("Day1/A001.MOV", 5);
    const MediaFile readme = h.makeFile("Day1/README", 3);
    ASSERT_TRUE(writeFile(h.archived(clip.path), "first"));
    writeFile(h.archived(h.mediaPath("Day1/A001_1.mov")), "second");
    writeFile(h.archived(readme.path), "third");
    h.stage({clip, readme}, {clip, readme});

    EXPECT_EQ(h.moveBin().succeeded, 2);
    EXPECT_EQ(contentOf(h.archived(clip.path)), "first");
    EXPECT_EQ(contentOf(h.archived(h.mediaPath("Day1/A001_1.mov"))), "second");
    EXPECT_EQ(contentOf(h.archived(h.mediaPath("Day1/A001_2.mov"))), "mmmmm");
    EXPECT_EQ(h.entry(clip.path)->movedToPath, h.archived(h.mediaPath("Day1/A001_2.mov")));
    EXPECT_EQ(contentOf(h.archived(h.mediaPath("Day1/README_1"))), "mmm");
}

TEST(MoveToFolderAction, ANameTakenJustBeforeTheMoveGetsTheNextNumber) {
    MoveHarness h;
    const MediaFile clip = h.makeFile("Day1/A001.mov", 5);
    h.stage({clip}, {clip});
    const QString taken = h.archived(clip.path);
    h.files->setBeforeEach([&, done = false](Op op, const QString& path) mutable {
        if (op == Op::moveNoReplace && path == clip.path && !done) {
            done = true;
            writeFile(taken, "racer");
        }
    });
    EXPECT_EQ(h.moveBin().succeeded, 1);
    EXPECT_EQ(contentOf(taken), "racer");
    EXPECT_EQ(contentOf(h.archived(h.mediaPath("Day1/A001_1.mov"))), "mmmmm");
}

TEST(MoveToFolderAction, ListVariantSkipsOfflineFilesAndKeepsTheDestinationsCase) {
    MoveHarness h;
    const MediaFile clip = h.makeFile("Day1/A001.MOV", 5);
    MediaFile offline = media(h.mediaPath("gone.mov"), 0, MediaFileStatus::offline, 7);
    writeFile(h.archived(clip.path), "taken");
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({clip, offline});

    const ActionResult result = h.moveList({offline, clip});
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.errors, QStringList{"gone.mov: File is offline"});
    EXPECT_TRUE(QFileInfo::exists(h.archived(h.mediaPath("Day1/A001_1.MOV"))));
    EXPECT_EQ(h.pm().moveProgress().moveFilesCompleted, 2);
    EXPECT_DOUBLE_EQ(h.pm().moveProgress().moveProgressFraction, 1.0);
    EXPECT_TRUE(h.log.contains("Skipping offline file: gone.mov"));
    EXPECT_TRUE(h.log.contains("Move complete: 1 succeeded, 1 failed"));
    EXPECT_TRUE(traceFilesBelow(h.mediaDir.path()).isEmpty());
}

// Trace records name the place the file actually left: its matchedPath's folder for a
// relocated file, the container's folder for a moved container.
TEST(MoveToFolderAction, TraceFilesGoWhereTheMovedItemsWere) {
    MoveHarness h;
    h.pm().updateOptions([](CleanupOptions& options) { options.writeTraceFiles = true; });
    MediaFile relocated = h.makeFile("New/A001.mov", 4);
    const QString found = relocated.path;
    relocated.path = h.mediaPath("Old/A001.mov");
    relocated.matchedPath = found;
    QDir().mkpath(h.mediaPath("Old"));
    const MediaFile segment1 = h.makeFile("Cards/A002.RDC/A002_001.R3D", 6);
    const MediaFile segment2 = h.makeFile("Cards/A002.RDC/A002_002.R3D", 8);
    h.stage({relocated, segment1, segment2}, {relocated, segment1, segment2});

    const ActionResult result = h.moveBin();
    EXPECT_EQ(result.succeeded, 3);
    EXPECT_EQ(contentOf(h.archived(found)), "mmmm");
    EXPECT_EQ(h.entry(relocated.path)->movedToPath, h.archived(found));
    EXPECT_TRUE(traceFilesBelow(h.mediaPath("Old")).isEmpty());
    const QStringList newTraces = traceFilesBelow(h.mediaPath("New"));
    ASSERT_EQ(newTraces.size(), 1);
    EXPECT_TRUE(contentOf(newTraces[0]).contains(("    Path: " + found).toUtf8()));
    // One record for the container, in the folder that held it.
    const QStringList cardTraces = traceFilesBelow(h.mediaPath("Cards"));
    ASSERT_EQ(cardTraces.size(), 1);
    EXPECT_EQ(QFileInfo(cardTraces[0]).path(), h.mediaPath("Cards"));
    EXPECT_TRUE(contentOf(cardTraces[0]).contains("Files Removed: 1"));
    EXPECT_TRUE(contentOf(cardTraces[0]).contains(("    Path: " + h.mediaPath("Cards/A002.RDC")).toUtf8()));
}

TEST(MoveToFolderAction, AContainerMovesWholeOnceAndItsMembersFollow) {
    MoveHarness h;
    const MediaFile segment1 = h.makeFile("Cards/A001.RDC/A001_001.R3D", 6);
    const MediaFile segment2 = h.makeFile("Cards/A001.RDC/A001_002.R3D", 8);
    const MediaFile sidecar = h.makeFile("Cards/A001.RDC/A001.RMD", 2);
    h.stage({segment1, segment2, sidecar}, {segment1, segment2});

    const ActionResult result = h.moveBin();
    EXPECT_EQ(result.succeeded, 2);
    const QString moved = h.archived(h.mediaPath("Cards/A001.RDC"));
    EXPECT_TRUE(QFileInfo::exists(moved + "/A001_002.R3D"));
    EXPECT_FALSE(QFileInfo::exists(h.mediaPath("Cards/A001.RDC")));
    EXPECT_EQ(h.entry(segment1.path)->movedToPath, moved);
    EXPECT_EQ(h.entry(segment2.path)->status, MediaFileStatus::moved);
    // Not staged, but gone from its place all the same.
    EXPECT_EQ(h.entry(sidecar.path)->status, MediaFileStatus::moved);
    EXPECT_EQ(h.entry(sidecar.path)->movedToPath, moved + "/A001.RMD");
    ASSERT_EQ(h.audit.entries().size(), 2);
    EXPECT_EQ(h.audit.entries()[0].destinationPath, moved);
    EXPECT_FALSE(h.audit.entries()[1].destinationPath.has_value());
    EXPECT_EQ(h.stats.stats().spaceSavedBytes, 14);
    EXPECT_TRUE(
        h.log.contains("R3D: Moved .RDC container " + h.mediaPath("Cards/A001.RDC") + " to " + moved));
}

TEST(MoveToFolderAction, RefusesProtectedContainersWithUsedMembersAndFilesNowInUse) {
    MoveHarness h;
    const MediaFile segment = h.makeFile("Cards/B.RDC/B_001.R3D", 6);
    MediaFile usedMember = h.makeFile("Cards/B.RDC/B_002.R3D", 6);
    usedMember.usageCount = 1;
    usedMember.projectNames = {"Cut A", "Cut B"};
    const MediaFile guarded = h.makeFile("Keep/C.mov", 3);
    MediaFile nowUsed = h.makeFile("Late/D.mov", 3);
    h.folders.add(h.mediaPath("Keep"));
    h.stage({segment, usedMember, guarded, nowUsed}, {segment, guarded, nowUsed});
    h.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([&](QList<MediaFile>& list) {
        list[3].usageCount = 2;
    });

    const ActionResult result = h.moveBin();
    EXPECT_EQ(result.succeeded, 0);
    EXPECT_EQ(
        result.errors,
        (QStringList{"B_001.R3D: skipped — its .RDC container also holds B_002.R3D, used in Cut A, Cut B",
                     "C.mov: in a protected folder — skipped", "D.mov: now in use — skipped"}));
    EXPECT_TRUE(QFileInfo::exists(segment.path));
    EXPECT_TRUE(QFileInfo::exists(guarded.path));
    EXPECT_TRUE(QFileInfo::exists(nowUsed.path));
    EXPECT_EQ(h.pm().recycleBin().size(), 3);
    EXPECT_EQ(h.pm().moveProgress().moveFilesCompleted, 3);
    EXPECT_TRUE(h.log.contains("Protected: skipped moving " + guarded.path));
    EXPECT_FALSE(QFile::exists(h.stats.fileName()));
}

TEST(MoveToFolderAction, APathLeadingOutOfTheFolderFailsAndTouchesNothing) {
    MoveHarness h;
    const MediaFile escaping = media("../../outside/clip.mov", 0, MediaFileStatus::online, 1);
    h.stage({escaping}, {escaping});
    const ActionResult result = h.moveBin();
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.errors, QStringList{"clip.mov: its path leads outside the destination folder"});
    EXPECT_EQ(h.files->count(Op::moveNoReplace), 0);
    EXPECT_EQ(h.files->count(Op::makeFolder), 0);
}

TEST(MoveToFolderAction, AFailedMoveKeepsTheFileStagedWithTheReason) {
    MoveHarness h;
    const MediaFile clip = h.makeFile("Day1/A001.mov", 5);
    h.stage({clip}, {clip});
    h.files->fail(Op::moveNoReplace, clip.path, EACCES,
                  "Copied to the destination, but the original could not be removed: Permission denied");
    const ActionResult result = h.moveBin();
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.errors, QStringList{"A001.mov: Copied to the destination, but the original could not be "
                                         "removed: Permission denied"});
    EXPECT_EQ(h.binPaths(), QStringList{clip.path});
    EXPECT_EQ(h.entry(clip.path)->status, MediaFileStatus::inRecycleBin);
    EXPECT_TRUE(h.audit.entries().isEmpty());
    EXPECT_TRUE(h.log.contains("❌ Move failed: A001.mov - Copied to the destination, but the original could "
                               "not be removed: Permission denied"));
}

TEST(MoveToFolderAction, ProxiesFollowTheirClipUnlessATimelineUsesThem) {
    MoveHarness h;
    MediaFile clip = h.makeFile("Day1/A001.mov", 5);
    const MediaFile proxy = h.makeFile("Proxies/A001_Proxy.mov", 2);
    clip.proxyPath = proxy.path;
    MediaFile other = h.makeFile("Day1/A002.mov", 5);
    MediaFile usedProxy = h.makeFile("Proxies/A002_Proxy.mov", 2);
    other.proxyPath = usedProxy.path;
    usedProxy.usageCount = 1;
    h.stage({clip, other, usedProxy}, {clip, other});

    EXPECT_EQ(h.moveBin().succeeded, 2);
    EXPECT_TRUE(QFileInfo::exists(h.archived(proxy.path)));
    EXPECT_TRUE(QFileInfo::exists(usedProxy.path));
    EXPECT_TRUE(h.log.contains("Proxy: moved " + proxy.path + " to " + h.archived(proxy.path)));
    EXPECT_TRUE(h.log.contains("Proxy: could not move " + usedProxy.path + ": a timeline uses it — skipped"));
}

// Two runs would share the bin, the progress fields and the cancel flag.
TEST(MoveToFolderAction, ASecondRunIsRefusedWhileOneHoldsTheManager) {
    MoveHarness h;
    const MediaFile clip = h.makeFile("Day1/A001.mov", 5);
    h.stage({clip}, {clip});
    QSemaphore entered;
    QSemaphore release;
    h.files->setBeforeEach([&](Op op, const QString&) {
        if (op == Op::moveNoReplace) {
            entered.release();
            release.acquire();
        }
    });
    auto first = MoveToFolderAction::moveRecycleBinToFolder(h.pm(), h.archive(), h.services());
    while (!entered.tryAcquire())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(h.pm().isBusy());

    const ActionResult second =
        QCoro::waitFor(MoveToFolderAction::moveFilesToFolder(h.pm(), {clip}, h.archive(), h.services()));
    EXPECT_TRUE(second.refused);
    EXPECT_EQ(second.succeeded, 0);
    EXPECT_EQ(second.errors, QStringList{"Another operation is running: Moving files to a folder…"});
    EXPECT_TRUE(h.log.contains("Moving to a folder refused: Moving files to a folder…"));

    release.release();
    const ActionResult result = QCoro::waitFor(std::move(first));
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_FALSE(h.pm().isBusy());
}

// The worker reads the flag before each file and hands it to the file in flight, which rolls back.
TEST(MoveToFolderAction, CancelStopsTheRunAtTheFileInFlightAndFinishesTheRun) {
    MoveHarness h;
    const MediaFile a = h.makeFile("a.mov", 1);
    const MediaFile b = h.makeFile("b.mov", 1);
    const MediaFile c = h.makeFile("c.mov", 1);
    h.stage({a, b, c}, {a, b, c});
    // Left over from an earlier run: ignored.
    h.pm().updateMoveProgress([](MoveProgress& move) { move.cancelMoveRequested = true; });
    QSemaphore cancelSeen;
    h.files->setBeforeEach([&](Op op, const QString& path) {
        if (op == Op::moveNoReplace && path == b.path) {
            QMetaObject::invokeMethod(
                &h.pm(),
                [&] {
                    h.pm().updateMoveProgress([](MoveProgress& move) { move.cancelMoveRequested = true; });
                },
                Qt::QueuedConnection);
            cancelSeen.acquire();
        }
    });
    // Released once every slot of the change has run, the run's own watch included.
    QObject::connect(&h.pm(), &ProjectManager::moveProgressChanged, &h.pm(), [&] {
        if (h.pm().moveProgress().isMoveInProgress && h.pm().moveProgress().cancelMoveRequested)
            QMetaObject::invokeMethod(
                &h.pm(), [&] { cancelSeen.release(); }, Qt::QueuedConnection);
    });
    auto run = MoveToFolderAction::moveRecycleBinToFolder(h.pm(), h.archive(), h.services());
    const ActionResult result = QCoro::waitFor(std::move(run));
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_EQ(result.failed, 0);
    EXPECT_TRUE(QFileInfo::exists(h.archived(a.path)));
    EXPECT_TRUE(QFileInfo::exists(b.path));
    EXPECT_FALSE(QFileInfo::exists(h.archived(b.path)));
    EXPECT_TRUE(QFileInfo::exists(c.path));
    EXPECT_EQ(h.binPaths(), (QStringList{b.path, c.path}));
    EXPECT_EQ(h.stats.stats().filesMoved, 1);
    EXPECT_EQ(h.pm().moveProgress().moveFilesCompleted, 1);
    EXPECT_TRUE(h.log.contains("Move cancelled by user after 1 file(s)"));
    EXPECT_TRUE(h.log.contains("Recycle bin move complete: 1 succeeded, 0 failed"));
}

// The awaiter of woke() is gone once it resumes: a second wake queued meanwhile (the worker's last
// word after a wake for more jobs) must not reach it.
TEST(FolderMovePipeline, WakesItsAwaiterOnceUntilTheOutcomesAreTaken) {
    QTemporaryDir dir;
    const std::shared_ptr<FileOperations> files = FileOperations::system();
    FolderMovePipeline pipeline(files, ProtectedFolderTest({}, files.get()), dir.path(),
                                {{dir.filePath("gone.mov"), std::nullopt}});
    int woke = 0;
    QObject::connect(&pipeline, &FolderMovePipeline::woke, [&woke] { ++woke; });
    QThreadPool pool;
    pipeline.start(pool);
    FolderMoveJob job;
    job.decided = FolderMoveOutcome::Kind::offline;
    pipeline.push({job});
    // Done with its one job, short of more: it asks for them.
    while (pipeline.progress().files < 1)
        std::this_thread::yield();
    pipeline.closeInput();
    pool.waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(woke, 1);
    const FolderMovePipeline::Batch batch = pipeline.take();
    EXPECT_TRUE(batch.done);
    EXPECT_EQ(batch.finished.size(), 1);
}

TEST(MoveToFolderAction, AnEmptyListEndsAtFullProgress) {
    MoveHarness h;
    const ActionResult result = h.moveList({});
    EXPECT_EQ(result.succeeded + result.failed, 0);
    EXPECT_DOUBLE_EQ(h.pm().moveProgress().moveProgressFraction, 1.0);
    EXPECT_TRUE(h.log.contains("👆 User: Moving 0 file(s) to " + h.archive()));
}

TEST(MoveToFolderAction, ATakenContainerNameIsNumberedOnlyByTheListVariant) {
    MoveHarness h;
    const MediaFile segment = h.makeFile("Cards/A001.RDC/A001_001.R3D", 6);
    const QString taken = h.archived(h.mediaPath("Cards/A001.RDC"));
    writeFile(taken + "/other.R3D", "other");
    h.stage({segment}, {segment});

    const ActionResult bin = h.moveBin();
    EXPECT_EQ(bin.failed, 1);
    EXPECT_EQ(bin.errors,
              QStringList{"A001_001.R3D: An item with the same name already exists at the destination"});
    EXPECT_TRUE(QFileInfo::exists(segment.path));

    const ActionResult list = h.moveList({segment});
    EXPECT_EQ(list.succeeded, 1);
    EXPECT_TRUE(QFileInfo::exists(h.archived(h.mediaPath("Cards/A001_1.RDC/A001_001.R3D"))));
    EXPECT_EQ(contentOf(taken + "/other.R3D"), "other");
    EXPECT_EQ(h.entry(segment.path)->movedToPath, h.archived(h.mediaPath("Cards/A001_1.RDC")));
}

TEST(MoveToFolderAction, ProgressFollowsTheFileCountWhenEverySizeIsZero) {
    MoveHarness h;
    const MediaFile a = h.makeFile("a.mov", 0);
    const MediaFile b = h.makeFile("b.mov", 0);
    h.stage({a, b}, {a, b});
    EXPECT_EQ(h.moveBin().succeeded, 2);
    EXPECT_EQ(h.pm().moveProgress().moveTotalBytes, 0);
    EXPECT_EQ(h.pm().moveProgress().moveFilesCompleted, 2);
    EXPECT_DOUBLE_EQ(h.pm().moveProgress().moveProgressFraction, 1.0);
}

TEST(MoveToFolderAction, MovesAcrossARealMountWithTheActualFileOperations) {
    test::TmpfsMountForActions mount;
    if (!mount.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    MoveHarness h;
    const MediaFile clip = h.makeFile("Day 1/A001.mov", 300000);
    const MediaFile segment = h.makeFile("Cards/A002.RDC/A002_001.R3D", 1000);
    h.stage({clip, segment}, {clip, segment});
    CleanupServices services = h.services();
    services.files = FileOperations::system();
    const ActionResult result =
        QCoro::waitFor(MoveToFolderAction::moveRecycleBinToFolder(h.pm(), mount.path(), services));
    EXPECT_EQ(result.succeeded, 2);
    EXPECT_EQ(contentOf(mount.path() + clip.path), QByteArray(300000, 'm'));
    EXPECT_TRUE(QFileInfo::exists(mount.path() + segment.path));
    EXPECT_FALSE(QFileInfo::exists(clip.path));
    EXPECT_FALSE(QFileInfo::exists(h.mediaPath("Cards/A002.RDC")));
    EXPECT_EQ(h.pm().moveProgress().moveBytesCompleted, 301000);
}

// The window closes while a file is in flight: the run ends quietly, the file is where the move put
// it, and its record is kept before the run returns (its worker no longer writes when the caller's
// stores may end).
TEST(MoveToFolderAction, AManagerGoneMidRunEndsTheRunQuietly) {
    MoveHarness h;
    const MediaFile a = h.makeFile("a.mov", 1);
    const MediaFile b = h.makeFile("b.mov", 1);
    h.stage({a, b}, {a, b});
    QSemaphore entered;
    QSemaphore release;
    h.files->setBeforeEach([&](Op op, const QString&) {
        if (op == Op::moveNoReplace) {
            entered.release();
            release.acquire();
        }
    });
    auto run = MoveToFolderAction::moveRecycleBinToFolder(h.pm(), h.archive(), h.services());
    while (!entered.tryAcquire())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    h.manager.reset();
    release.release(2);
    const ActionResult result = QCoro::waitFor(std::move(run));
    EXPECT_EQ(result.succeeded, 0);
    EXPECT_TRUE(QFileInfo::exists(h.archived(a.path)));
    EXPECT_TRUE(QFileInfo::exists(b.path));
    ASSERT_EQ(h.audit.entries().size(), 1);
    EXPECT_EQ(h.audit.entries()[0].destinationPath, h.archived(a.path));
}
