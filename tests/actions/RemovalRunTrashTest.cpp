#include "actions/RemovalRun.h"
#include "platform/LeftoverMark.h"
#include "support/CleanupHarness.h"
#include "support/HangWatchdog.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QUrl>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;
using Op = FaultInjectingFileOperations::Op;

namespace {

// Original path of every item in the home trash, read back from its .trashinfo.
QHash<QString, QString> trashedOriginals(const CleanupHarness& h) {
    QHash<QString, QString> originals;
    QDirIterator info(h.trashFolder() + "/info", {"*.trashinfo"}, QDir::Files);
    while (info.hasNext()) {
        const QString infoPath = info.next();
        QFile file(infoPath);
        file.open(QIODevice::ReadOnly);
        const QList<QByteArray> lines = file.readAll().split('\n');
        const QString name = QFileInfo(infoPath).completeBaseName();
        if (lines.size() >= 3 && lines[0] == "[Trash Info]" && lines[1].startsWith("Path=") &&
            lines[2].startsWith("DeletionDate="))
            originals.insert(QFile::decodeName(QByteArray::fromPercentEncoding(lines[1].mid(5))), name);
    }
    return originals;
}

ActionResult trash(CleanupHarness& h) {
    return QCoro::waitFor(runRemoval(h.pm(), h.services(), RemovalMethod::trash));
}

} // namespace

TEST(RemovalRunTrash, MovesEveryStagedFileToTheHomeTrashWithItsRecords) {
    CleanupHarness h;
    const MediaFile spaced = h.makeFile("Day 1/Take one.mov", 10);
    const MediaFile nfd = h.makeFile(QString::fromUtf8("Cafe\xCC\x81/Cafe\xCC\x81.mov"), 20);
    const MediaFile nfc = h.makeFile(QString::fromUtf8("Caf\xC3\xA9/Caf\xC3\xA9.mov"), 40);
    MediaFile cjk =
        h.makeFile(QString::fromUtf8("\xE6\x92\xAE\xE5\xBD\xB1/\xE7\xB4\xA0\xE6\x9D\x90.mov"), 30);
    cjk.projectNames = {"Trailer"};
    h.stage({spaced, nfd, nfc, cjk}, {spaced, nfd, nfc, cjk});

    const ActionResult result = trash(h);
    EXPECT_EQ(result.succeeded, 4);
    EXPECT_EQ(result.failed, 0);
    EXPECT_TRUE(result.errors.isEmpty());
    EXPECT_TRUE(h.pm().recycleBin().isEmpty());
    const QHash<QString, QString> originals = trashedOriginals(h);
    // The decomposed and the precomposed name are two files, each trashed under its own name.
    for (const MediaFile& file : {spaced, nfd, nfc, cjk}) {
        EXPECT_FALSE(QFileInfo::exists(file.path)) << file.path.toStdString();
        EXPECT_TRUE(originals.contains(file.path)) << file.path.toStdString();
        EXPECT_EQ(h.entry(file.path)->status, MediaFileStatus::deleted);
    }
    ASSERT_EQ(h.audit.entries().size(), 4);
    EXPECT_EQ(h.audit.entries()[3].action, AuditAction::movedToTrash);
    EXPECT_EQ(h.audit.entries()[3].filePath, cjk.path);
    EXPECT_EQ(h.audit.entries()[3].projectNames, QStringList{"Trailer"});
    EXPECT_EQ(h.stats.stats().filesDeleted, 4);
    EXPECT_EQ(h.stats.stats().spaceSavedBytes, 100);
    EXPECT_TRUE(h.log.contains("👆 User: Moving 4 file(s) to Trash"));
    EXPECT_TRUE(h.log.contains("Deletion complete: 4 succeeded, 0 failed"));
}

TEST(RemovalRunTrash, AnEmptyBinWritesNothing) {
    CleanupHarness h;
    const ActionResult result = trash(h);
    EXPECT_EQ(result.succeeded, 0);
    EXPECT_EQ(result.failed, 0);
    EXPECT_FALSE(QFile::exists(h.stats.fileName()));
    EXPECT_TRUE(h.log.contains("Moving 0 file(s) to Trash"));
    EXPECT_TRUE(h.log.contains("Deletion complete: 0 succeeded, 0 failed"));
}

TEST(RemovalRunTrash, ATrashFailureLeavesTheItemWithItsErrorAndNoRecords) {
    struct Case {
        int code;
        QString message;
    };
    for (const Case& c :
         {Case{EXDEV, "No Trash can be used on the volume at /mnt/x; the file was left in place"},
          Case{EACCES, "Permission denied"}, Case{ENOENT, "No such file or directory"}}) {
        CleanupHarness h;
        h.pm().updateOptions([](CleanupOptions& options) { options.writeTraceFiles = true; });
        MediaFile file = h.makeFile("Shoot/clip one.mov", 5);
        h.stage({file}, {file});
        h.files->fail(Op::moveToTrash, file.path, c.code, c.message);

        const ActionResult result = trash(h);
        EXPECT_EQ(result.succeeded, 0);
        EXPECT_EQ(result.failed, 1);
        EXPECT_EQ(result.errors, QStringList{"clip one.mov: " + c.message});
        ASSERT_EQ(result.failedItems.size(), 1);
        EXPECT_EQ(h.binPaths(), QStringList{file.path});
        EXPECT_EQ(h.entry(file.path)->status, MediaFileStatus::inRecycleBin);
        EXPECT_TRUE(QFile::exists(file.path));
        EXPECT_TRUE(h.audit.entries().isEmpty());
        EXPECT_FALSE(QFile::exists(h.stats.fileName()));
        EXPECT_TRUE(QDir(h.mediaPath("Shoot")).entryList({"Tarnwick_Trace_*"}).isEmpty());
        EXPECT_TRUE(h.log.contains("❌ Move to Trash failed: clip one.mov - " + c.message));
    }
}

// Bytes that are no UTF-8 read back as U+FFFD, and that text names no file.
TEST(RemovalRunTrash, AFileWhoseNameIsNotUtf8IsKeptAndTheErrorSaysWhy) {
    CleanupHarness h;
    const QByteArray native = QFile::encodeName(h.mediaPath("")) + "Caf\xE9.mov";
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    // Qt cannot name it, so its temporary folder could not remove it.
    const auto removeIt = qScopeGuard([&] { ::unlink(native.constData()); });
    const MediaFile odd = media(QFile::decodeName(native), 0, MediaFileStatus::online, 4);
    h.stage({odd}, {odd});

    const ActionResult result = trash(h);
    const QString name = QString::fromUtf8("Caf\xEF\xBF\xBD.mov");
    EXPECT_EQ(result.errors, QStringList{name + ": its name is not valid UTF-8 text"});
    EXPECT_EQ(h.binPaths(), QStringList{odd.path});
    struct stat st {};
    EXPECT_EQ(::lstat(native.constData(), &st), 0);
    EXPECT_TRUE(h.log.contains("❌ Move to Trash failed: " + name + " - its name is not valid UTF-8 text"));
}

TEST(RemovalRunTrash, ARelocatedFileIsTrashedAtItsMatchedPath) {
    CleanupHarness h;
    h.pm().updateOptions([](CleanupOptions& options) { options.writeTraceFiles = true; });
    const MediaFile found = h.makeFile("New/A001.mov", 8);
    MediaFile staged = media(h.mediaPath("Old/A001.mov"), 0, MediaFileStatus::matching, 8);
    staged.matchedPath = found.path;
    h.stage({staged}, {staged});

    EXPECT_EQ(trash(h).succeeded, 1);
    EXPECT_FALSE(QFileInfo::exists(found.path));
    ASSERT_EQ(h.audit.entries().size(), 1);
    EXPECT_EQ(h.audit.entries()[0].filePath, staged.path);
    // The trace file goes where the file really was.
    const QStringList traces = QDir(h.mediaPath("New")).entryList({"Tarnwick_Trace_*"});
    ASSERT_EQ(traces.size(), 1);
    QFile trace(h.mediaPath("New/") + traces[0]);
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    EXPECT_TRUE(trace.readAll().contains(QFile::encodeName("    Path: " + found.path)));
}

TEST(RemovalRunTrash, AProtectedTargetStaysInTheBinUntouched) {
    CleanupHarness h;
    const MediaFile file = h.makeFile("Keep/clip.mov");
    h.stage({file}, {file});
    // Protected after staging.
    h.folders.add(h.mediaPath("keep"));
    h.folders.add(h.mediaPath("Keep"));

    const ActionResult result = trash(h);
    EXPECT_EQ(result.errors, QStringList{"clip.mov: in a protected folder — skipped"});
    EXPECT_TRUE(QFile::exists(file.path));
    EXPECT_EQ(h.entry(file.path)->status, MediaFileStatus::inRecycleBin);
    EXPECT_TRUE(h.log.contains("Protected: skipped trashing " + file.path));
    EXPECT_TRUE(h.files->destructivePaths().isEmpty());
}

TEST(RemovalRunTrash, AStagedPathThatIsAFolderIsSkippedNotTrashedWhole) {
    CleanupHarness h;
    h.makeFile("Footage.mov/inside.mov");
    const MediaFile folder = media(h.mediaPath("Footage.mov"));
    h.stage({folder}, {folder});

    const ActionResult result = trash(h);
    EXPECT_EQ(result.errors, QStringList{"Footage.mov: is a folder — skipped"});
    EXPECT_TRUE(QFile::exists(h.mediaPath("Footage.mov/inside.mov")));
    EXPECT_EQ(h.binPaths(), QStringList{folder.path});
    EXPECT_TRUE(h.files->destructivePaths().isEmpty());
}

TEST(RemovalRunTrash, AFileThatBecameUsedAfterStagingIsSkipped) {
    CleanupHarness h;
    const MediaFile file = h.makeFile("clip.mov");
    h.stage({file}, {file});
    // A later import found a timeline that uses it.
    h.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& list) {
        list[0].usageCount = 1;
    });

    const ActionResult result = trash(h);
    EXPECT_EQ(result.errors, QStringList{"clip.mov: now in use — skipped"});
    EXPECT_TRUE(QFile::exists(file.path));
    EXPECT_EQ(h.binPaths(), QStringList{file.path});
    EXPECT_TRUE(h.audit.entries().isEmpty());
}

// "Move to Recycle Anyway" on a file a timeline uses: the user chose it, the Trash takes it.
TEST(RemovalRunTrash, AFileStagedKnowinglyWhileUsedIsTrashed) {
    CleanupHarness h;
    MediaFile used = h.makeFile("used.mov");
    used.usageCount = 2;
    used.sequenceNames = {"Main"};
    MediaFile later = h.makeFile("later.mov");
    later.usageCount = 1;
    h.stage({used, later}, {used, later});
    // A later import put the second one on one more timeline.
    h.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& list) {
        list[1].usageCount = 2;
    });

    const ActionResult result = trash(h);
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_EQ(result.errors, QStringList{"later.mov: now in use — skipped"});
    EXPECT_FALSE(QFile::exists(used.path));
    EXPECT_TRUE(QFile::exists(later.path));
    EXPECT_EQ(h.entry(used.path)->status, MediaFileStatus::deleted);
    EXPECT_EQ(h.binPaths(), QStringList{later.path});
    ASSERT_EQ(h.audit.entries().size(), 1);
    EXPECT_EQ(h.audit.entries()[0].filePath, used.path);
}

TEST(RemovalRunTrash, AProxyGoesAlongUnlessATimelineUsesItOrItIsNoRegularFile) {
    CleanupHarness h;
    const MediaFile proxy = h.makeFile("Proxies/a_proxy.mov");
    MediaFile a = h.makeFile("a.mov");
    a.proxyPath = proxy.path;
    const MediaFile usedProxy = h.makeFile("Proxies/B_PROXY.mov");
    MediaFile b = h.makeFile("b.mov");
    b.proxyPath = h.mediaPath("Proxies/b_proxy.mov"); // the used entry differs in case only
    QDir().mkpath(h.mediaPath("Proxies/c_proxy.mov"));
    MediaFile c = h.makeFile("c.mov");
    c.proxyPath = h.mediaPath("Proxies/c_proxy.mov");
    MediaFile usedEntry = usedProxy;
    usedEntry.usageCount = 2;
    // The case-only match only counts on a volume that ignores case; make the path exist too.
    QFile::copy(usedProxy.path, *b.proxyPath);
    h.stage({a, b, c, usedEntry}, {a, b, c});

    const ActionResult result = trash(h);
    EXPECT_EQ(result.succeeded, 3);
    EXPECT_EQ(result.failed, 0);
    EXPECT_FALSE(QFileInfo::exists(proxy.path));
    EXPECT_TRUE(QFileInfo::exists(*b.proxyPath));
    EXPECT_TRUE(QFileInfo::exists(usedProxy.path));
    EXPECT_TRUE(QFileInfo(*c.proxyPath).isDir());
    EXPECT_TRUE(h.log.contains("Proxy: trashed " + proxy.path + " alongside a.mov"));
    EXPECT_TRUE(h.log.contains("Proxy: could not trash " + *b.proxyPath + ": a timeline uses it — skipped"));
    EXPECT_TRUE(h.log.contains("Proxy: could not trash " + *c.proxyPath + ": not a regular file — skipped"));
    // A proxy changes no count and writes no audit entry of its own.
    EXPECT_EQ(h.audit.entries().size(), 3);
}

TEST(RemovalRunTrash, EntriesAreFoundByPathAfterTheListChangedDuringTheRun) {
    CleanupHarness h;
    const MediaFile a = h.makeFile("a.mov");
    const MediaFile b = h.makeFile("b.mov");
    h.stage({a, b}, {a, b});
    QSemaphore entered;
    QSemaphore proceed;
    h.files->setBeforeEach([&](Op op, const QString&) {
        if (op == Op::moveToTrash && entered.available() == 0 && proceed.available() == 0) {
            entered.release();
            proceed.acquire();
        }
    });
    auto run = runRemoval(h.pm(), h.services(), RemovalMethod::trash);
    while (!entered.tryAcquire())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // A caller that bypassed the gate reordered and shrank the list meanwhile.
    const MediaFile newcomer = media(h.mediaPath("new.mov"));
    MediaFile bStaged = *h.entry(b.path);
    h.pm().edit(ProjectManager::ListChange::none).setMediaFiles({newcomer, bStaged});
    proceed.release(1000);
    const ActionResult result = QCoro::waitFor(run);

    EXPECT_EQ(result.succeeded, 2);
    ASSERT_EQ(h.pm().mediaFiles().size(), 2);
    EXPECT_EQ(h.entry(newcomer.path)->status, MediaFileStatus::online);
    EXPECT_EQ(h.entry(b.path)->status, MediaFileStatus::deleted);
}

TEST(RemovalRunTrash, WaitsForTheRunningOperationBeforeTakingTheBin) {
    CleanupHarness h;
    const MediaFile a = h.makeFile("a.mov");
    h.stage({a}, {a});
    auto import = h.pm().tryBeginOperation("Importing…");
    ASSERT_TRUE(import);
    auto run = runRemoval(h.pm(), h.services(), RemovalMethod::trash);
    drainEvents();
    EXPECT_TRUE(QFile::exists(a.path));
    EXPECT_EQ(h.files->count(Op::moveToTrash), 0);
    import->release();
    EXPECT_EQ(QCoro::waitFor(run).succeeded, 1);
    EXPECT_FALSE(QFileInfo::exists(a.path));
}

// Plain files go in batches: a batch's intents reach the journal in one write before its first file
// moves (a kill then leaves them for the next start to decide by the disk), and every file still
// ends with one entry and one count.
TEST(RemovalRunTrash, WritesABatchOfIntentsBeforeItsFirstFileMoves) {
    CleanupHarness h;
    QList<MediaFile> files;
    for (int i = 0; i < 300; ++i)
        files.append(h.makeFile(QStringLiteral("Card %1/A%2.mov").arg(i / 100).arg(i), 4));
    h.stage(files, files);
    int appends = 0;
    h.audit.journal().setWriteFaultForTesting([&appends] {
        ++appends;
        return 0;
    });
    qsizetype intentsAtFirstMove = -1;
    h.files->setBeforeEach([&](Op op, const QString&) {
        if (op != Op::moveToTrash || intentsAtFirstMove >= 0)
            return;
        QFile journal(h.audit.journal().path());
        journal.open(QIODevice::ReadOnly);
        intentsAtFirstMove = journal.readAll().count("\"k\":\"intent\"");
    });

    const ActionResult result = trash(h);
    EXPECT_EQ(result.succeeded, 300);
    EXPECT_GT(intentsAtFirstMove, 100);
    EXPECT_LT(appends, 20);
    EXPECT_EQ(h.audit.entries().size(), 300);
    EXPECT_EQ(h.stats.stats().filesDeleted, 300);
    EXPECT_EQ(h.stats.stats().spaceSavedBytes, 1200);
    EXPECT_EQ(trashedOriginals(h).size(), 300);
}

// Cards reuse their clip names, so the Trash's helper runs out of numbered names for the later
// cards' copies; files removed after staging and paths that became folders sit at random places
// besides. The run ends with each file trashed or kept with its reason, one entry per trashed file,
// no info in the Trash without its item, and no info still marked once the run returned.
TEST(RemovalRunTrash, ARunWithItemsTheInfoHelperSkipsAtRandomPlacesEnds) {
    const HangWatchdog watchdog("a Trash run of 2,500 files with skips");
    CleanupHarness h;
    QRandomGenerator random(20261208);
    QList<MediaFile> files;
    QSet<QString> gone;
    QSet<QString> folders;
    QStringList folderNames;
    for (int i = 0; i < 2500; ++i) {
        const QString name =
            QStringLiteral("Card %1/C%2.MP4").arg(i % 10).arg(i / 10, 4, 10, QLatin1Char('0'));
        files.append(h.makeFile(name));
        const quint32 roll = random.bounded(100);
        if (roll < 4) {
            gone.insert(files.last().path);
        } else if (roll < 6) {
            folders.insert(files.last().path);
            folderNames.append(name);
        }
    }
    h.stage(files, files);
    for (const QString& path : std::as_const(gone))
        ASSERT_TRUE(QFile::remove(path));
    for (const QString& name : std::as_const(folderNames)) {
        ASSERT_TRUE(QFile::remove(h.mediaPath(name)));
        h.makeFile(name + QStringLiteral("/inside.xml"));
    }

    const ActionResult result = trash(h);
    const qsizetype trashed = files.size() - gone.size() - folders.size();
    EXPECT_EQ(result.succeeded, trashed);
    EXPECT_EQ(result.errors.size(), gone.size() + folders.size());
    EXPECT_EQ(result.errors.filter(QStringLiteral("is a folder — skipped")).size(), folders.size());
    EXPECT_EQ(h.audit.entries().size(), trashed);
    EXPECT_EQ(trashedOriginals(h).size(), trashed);
    const QStringList items =
        QDir(h.trashFolder() + "/files").entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_EQ(items.size(), trashed);
    QStringList orphans;
    QStringList marked;
    for (const QString& info : QDir(h.trashFolder() + "/info").entryList(QDir::Files | QDir::Hidden)) {
        if (!items.contains(info.chopped(QStringLiteral(".trashinfo").size())))
            orphans.append(info);
        // A mark left on an info whose item is in: a kill's sweep would judge it a leftover.
        if (leftover::markOf(QFile::encodeName(h.trashFolder() + "/info/" + info)))
            marked.append(info);
    }
    EXPECT_TRUE(orphans.isEmpty()) << orphans.join(", ").toStdString();
    EXPECT_TRUE(marked.isEmpty()) << marked.join(", ").toStdString();
    for (const QString& path : std::as_const(folders))
        EXPECT_TRUE(QFile::exists(path + QStringLiteral("/inside.xml"))) << path.toStdString();
}
