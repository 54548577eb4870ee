// Clean-ups on a disk without room, for real (a small tmpfs; skipped where it cannot be mounted):
// the store and the media on one full volume, and the store alone on a small one. A run makes sure
// of the room for its records before its first file, uses the records' reserve on a full disk,
// and stops cleanly (the rest kept, the result says why) when even that is not enough. After each,
// and after the next start: every file in exactly one place, one entry and one count per removed
// file, nothing for a kept one.
#include "actions/CleanupResult.h"
#include "actions/MoveToFolderAction.h"
#include "actions/RecordMerge.h"
#include "actions/RemovalRun.h"
#include "actions/TraceFileWriter.h"
#include "stores/RecordReserve.h"
#include "stores/RecordRun.h"
#include "stores/ReviewHook.h"
#include "support/CleanupHarness.h"
#include "support/RecordCheck.h"
#include "support/SmallVolume.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

using Op = FaultInjectingFileOperations::Op;

struct SmallReserve {
    explicit SmallReserve(qint64 bytes) { RecordReserve::setSizeForTesting(bytes); }
    ~SmallReserve() { RecordReserve::setSizeForTesting(0); }
};

// A manager whose records go to `store` and whose files are made under `media`.
struct Room {
    Room(const QString& storeFolder, const QString& mediaFolder)
        : store(storeFolder), media(mediaFolder), audit(store, nullptr), stats(store) {}

    QString store;
    QString media;
    QString layout = QStringLiteral("/Card %1/clip %2.mov"); // below `media`: the card, the file's number
    QStringList projects;                                    // the projects that list each file
    ProjectManagerHarness harness;
    AuditLogManager audit;
    StatsManager stats;
    std::shared_ptr<FaultInjectingFileOperations> files = std::make_shared<FaultInjectingFileOperations>();
    QTemporaryDir home;
    ScopedEnv homeVar{"HOME", QFile::encodeName(home.path())};
    ScopedEnv dataVar{"XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data"))};
    test::DiskFactsLogCapture log;

    // `count` files of `size` bytes, staged; the expectation once all are removed.
    RecordExpectation stage(int count, qint64 size, bool toTrash) {
        RecordExpectation expected;
        expected.action = toTrash ? AuditAction::movedToTrash : AuditAction::deletedPermanently;
        QList<MediaFile> list;
        for (int i = 0; i < count; ++i) {
            const QString path = media + layout.arg(i % 4).arg(i);
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(size, 'm')) != size)
                ADD_FAILURE() << "could not make " << path.toStdString();
            list.append(tarnwick::testing::media(path, 0, MediaFileStatus::inRecycleBin, size));
            list.last().projectNames = projects;
            expected.done.insert(path, size);
        }
        harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(list);
        QList<RecycleBinItem> bin;
        for (const MediaFile& file : std::as_const(list))
            bin.append(binItem(file));
        harness.pm().edit(ProjectManager::ListChange::none).setRecycleBin(bin);
        return expected;
    }
    CleanupServices services() {
        CleanupServices s;
        s.files = files;
        s.auditLog = &audit;
        s.statsManager = &stats;
        return s;
    }
    ActionResult run(bool toTrash) {
        return QCoro::waitFor(runRemoval(harness.pm(), services(),
                                         toTrash ? RemovalMethod::trash : RemovalMethod::deletePermanently));
    }
    ActionResult moveTo(const QString& folder) {
        return QCoro::waitFor(MoveToFolderAction::moveRecycleBinToFolder(harness.pm(), folder, services()));
    }
    // The next start, on stores read afresh; what it finds against what the disk shows.
    QStringList nextStart(RecordExpectation expected) const {
        AuditLogManager fresh(store, nullptr);
        StatsManager freshStats(store);
        RecordMerge::mergeAtStart({&fresh, &freshStats, nullptr}, *FileOperations::system());
        QHash<QString, qint64> removed;
        for (auto it = expected.done.cbegin(); it != expected.done.cend(); ++it) {
            if (QFileInfo::exists(it.key()))
                expected.untouched.append(it.key());
            else
                removed.insert(it.key(), it.value());
        }
        expected.done = removed;
        return checkRecords(fresh, freshStats, expected);
    }
    // Something else fills the disk right before the `nth` step of one of `ops`.
    void fillBefore(SmallVolume& volume, int nth, const QList<Op>& ops) {
        auto steps = std::make_shared<int>(0);
        files->setBeforeEach([&volume, nth, ops, steps](Op op, const QString&) {
            if (ops.contains(op) && ++*steps == nth)
                volume.fill();
        });
    }
    void expectTheNextStartAgrees(const RecordExpectation& expected) const {
        const QStringList problems = nextStart(expected);
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    }
    qsizetype logged(const QString& part) const { return log.messages().filter(part).size(); }
};

// Another program writing beside the run on the same disk: it takes every block the disk frees,
// as soon as it is free, until stopped.
class DiskFiller {
public:
    explicit DiskFiller(const QString& path) : m_path(QFile::encodeName(path)), m_thread([this] { run(); }) {}
    // What it wrote goes with it.
    ~DiskFiller() {
        stop();
        ::unlink(m_path.constData());
    }
    DiskFiller(const DiskFiller&) = delete;
    DiskFiller& operator=(const DiskFiller&) = delete;
    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    qint64 taken() const { return m_taken.load(); }

private:
    void run() {
        const int fd = ::open(m_path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        const QByteArray block(4096, 'w');
        while (fd >= 0 && !m_stop) {
            const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
            if (n > 0)
                m_taken += n;
            else
                std::this_thread::yield();
        }
        if (fd >= 0)
            ::close(fd);
    }
    QByteArray m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_taken{0};
    std::thread m_thread;
};

// A folder on the volume, not made yet.
QString folderOn(const SmallVolume& volume, const QString& name) {
    return volume.filePath(name + QStringLiteral("/x")).chopped(2);
}

// The Trash, then permanent deletion, each with a store of its own on `volume` and the media on
// another disk.
template <typename Body> void forTrashAndDeletion(const SmallVolume& volume, Body body) {
    for (const bool toTrash : {true, false}) {
        SCOPED_TRACE(toTrash ? "trash" : "delete");
        QTemporaryDir mediaDir;
        Room room(folderOn(volume, toTrash ? QStringLiteral("trash") : QStringLiteral("delete")),
                  mediaDir.path());
        body(room, toTrash);
    }
}

struct CountedReviews : ReviewHook {
    void recordSuccess(AuditAction) override { ++count; }
    int count = 0;
};

// In its place, or in the Trash (by its .trashinfo), never both and never neither.
QStringList placeProblems(const RecordExpectation& expected, bool toTrash, const QString& trashRoot) {
    QStringList problems;
    QSet<QString> trashed;
    QDirIterator infos(trashRoot, {QStringLiteral("*.trashinfo")}, QDir::Files | QDir::Hidden,
                       QDirIterator::Subdirectories);
    while (infos.hasNext()) {
        QFile info(infos.next());
        if (info.open(QIODevice::ReadOnly)) {
            const QByteArray text = info.readAll();
            const qsizetype at = text.indexOf("Path=");
            const QByteArray path = text.mid(at + 5, text.indexOf('\n', at) - at - 5);
            QString original = QFile::decodeName(QByteArray::fromPercentEncoding(path));
            // A volume's own Trash names its files from the volume's top.
            if (!original.startsWith(QLatin1Char('/')))
                original = trashRoot + QLatin1Char('/') + original;
            trashed.insert(original);
        }
    }
    for (auto it = expected.done.cbegin(); it != expected.done.cend(); ++it) {
        const bool inPlace = QFileInfo::exists(it.key());
        if (toTrash && inPlace == trashed.contains(QFileInfo(it.key()).absoluteFilePath()))
            problems.append((inPlace ? "both in place and in the Trash: " : "lost: ") + it.key());
    }
    return problems;
}

// The store and the media share one full volume: a permanent deletion uses the reserve for its
// first records and the room it frees for the rest; every file is removed and recorded, and the
// full disk is logged once, not once per file.
TEST(RecordRoom, ADeletionOnAFullDiskSharedWithTheStoreRecordsEveryFile) {
    SMALL_VOLUME_OR_SKIP(volume, 24 << 20);
    SmallReserve reserve(1 << 20);
    Room room(folderOn(volume, QStringLiteral("store")), volume.path() + QStringLiteral("/media"));
    const RecordExpectation expected = room.stage(600, 16 * 1024, false);
    RecordMerge::mergeAtStart({&room.audit, &room.stats, nullptr}, *FileOperations::system()); // the reserve
    ASSERT_GT(RecordReserve::held(room.store), 0);
    volume.fill();
    ASSERT_LT(volume.free(), 4096);

    const ActionResult result = room.run(false);
    EXPECT_EQ(result.succeeded, 600);
    EXPECT_EQ(result.failed, 0) << result.errors.value(0).toStdString();
    EXPECT_TRUE(result.unrecorded.isEmpty()) << result.unrecorded.toStdString();
    EXPECT_EQ(room.audit.count(), 600);
    EXPECT_EQ(room.stats.stats().filesDeleted, 600);
    EXPECT_EQ(room.logged(QStringLiteral("kept in reserve for the records")), 1);
    EXPECT_EQ(room.logged(QStringLiteral("could not be recorded")), 0);
    EXPECT_EQ(room.logged(QStringLiteral("Records could not be kept")), 0);
    // The run freed room: the reserve is there again for the next one.
    EXPECT_GT(RecordReserve::held(room.store), 0);
    room.expectTheNextStartAgrees(expected);
}

// The same full volume for the Trash, which frees nothing and writes an info per file: those need
// free space the reserve does not give, so the run does not start (the reserve stays whole, the
// sheet says why once). With room for the infos every file goes and is recorded.
TEST(RecordRoom, TheTrashOnAFullDiskSharedWithTheStoreCountsItsInfos) {
    SMALL_VOLUME_OR_SKIP(volume, 16 << 20);
    SmallReserve reserve(1 << 20);
    Room room(folderOn(volume, QStringLiteral("store")), volume.path() + QStringLiteral("/media"));
    const RecordExpectation expected = room.stage(200, 8 * 1024, true);
    // The files announced to the Trash, whose helper makes their infos ahead.
    struct Announcing : LinuxFileOperations {
        void expectTrash(const QStringList& paths) override {
            announced += paths.size();
            LinuxFileOperations::expectTrash(paths);
        }
        qsizetype announced = 0;
    };
    const auto trash = std::make_shared<Announcing>();
    room.files = std::make_shared<FaultInjectingFileOperations>(trash);
    RecordMerge::mergeAtStart({&room.audit, &room.stats, nullptr}, *FileOperations::system());
    const qint64 whole = RecordReserve::held(room.store);
    ASSERT_GE(whole, 1 << 20);
    volume.fill();

    ActionResult result = room.run(true);
    EXPECT_EQ(result.succeeded, 0);
    const CleanupResult sheet = CleanupResult::of(CleanupRunKind::trash, result);
    ASSERT_TRUE(sheet.isRefused());
    EXPECT_EQ(sheet.refusal->count(QStringLiteral("not enough free space for the records")), 1)
        << sheet.refusal->toStdString();
    EXPECT_TRUE(
        sheet.refusal->contains(QStringLiteral("the disk of the store folder has no free space left")))
        << sheet.refusal->toStdString();
    EXPECT_EQ(room.files->count(Op::moveToTrash), 0);
    // Refused before the Trash was told of any file: it made no folder and no info.
    EXPECT_EQ(trash->announced, 0);
    EXPECT_FALSE(QFileInfo::exists(volume.path() + QStringLiteral("/.Trash-%1").arg(::getuid())));
    EXPECT_EQ(RecordReserve::held(room.store), whole);
    EXPECT_EQ(room.harness.pm().recycleBin().size(), 200);
    EXPECT_EQ(room.audit.count(), 0);

    volume.unfill();
    volume.fill(2 << 20);
    result = room.run(true);
    EXPECT_EQ(trash->announced, 200);
    EXPECT_EQ(result.succeeded, 200);
    EXPECT_EQ(result.failed, 0) << result.errors.value(0).toStdString();
    EXPECT_EQ(room.audit.count(), 200);
    EXPECT_EQ(room.stats.stats().filesDeleted, 200);
    QStringList problems = placeProblems(expected, true, volume.path());
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    room.expectTheNextStartAgrees(expected);
}

// The store alone on a nearly full volume, the media elsewhere: the reserve holds the records.
TEST(RecordRoom, AStoreOnANearlyFullDiskKeepsEveryRecordInItsReserve) {
    SMALL_VOLUME_OR_SKIP(volume, 4 << 20);
    SmallReserve reserve(1 << 20);
    forTrashAndDeletion(volume, [&](Room& room, bool toTrash) {
        const RecordExpectation expected = room.stage(500, 100, toTrash);
        ASSERT_TRUE(RecordReserve::ensure(room.store));
        volume.fill(16 * 1024);

        const ActionResult result = room.run(toTrash);
        EXPECT_EQ(result.succeeded, 500);
        EXPECT_EQ(result.failed, 0) << result.errors.value(0).toStdString();
        EXPECT_TRUE(result.unrecorded.isEmpty()) << result.unrecorded.toStdString();
        EXPECT_EQ(room.logged(QStringLiteral("kept in reserve for the records")), 1);
        volume.unfill();
        room.expectTheNextStartAgrees(expected);
        // Room again: the next start made the reserve anew.
        EXPECT_GT(RecordReserve::held(room.store), 0);
    });
}

// Without room for the run's records (more than the reserve holds, the disk full), the run does not
// start: every file stays, the result is a refusal with its reason once, the log says it once, and
// the reserve is left whole for a run it can hold.
TEST(RecordRoom, ARunWithoutRoomForItsRecordsRemovesNothingAndLeavesTheReserveWhole) {
    SMALL_VOLUME_OR_SKIP(volume, 4 << 20);
    SmallReserve reserve(256 * 1024);
    forTrashAndDeletion(volume, [&](Room& room, bool toTrash) {
        const RecordExpectation expected = room.stage(800, 100, toTrash);
        ASSERT_TRUE(RecordReserve::ensure(room.store));
        const qint64 whole = RecordReserve::held(room.store);
        volume.fill();

        const ActionResult result = room.run(toTrash);
        EXPECT_EQ(RecordReserve::held(room.store), whole);
        EXPECT_EQ(room.audit.journal().size(), 0) << "a run that did not start leaves no line";
        EXPECT_EQ(result.succeeded, 0);
        EXPECT_TRUE(result.refused);
        EXPECT_EQ(result.errors.size(), 1);
        EXPECT_TRUE(result.errors.value(0).startsWith(QStringLiteral(
            "The run did not start because its records could not be kept (not enough free space for the "
            "records")))
            << result.errors.value(0).toStdString();
        EXPECT_TRUE(result.unrecorded.isEmpty()) << result.unrecorded.toStdString();
        EXPECT_EQ(room.files->count(toTrash ? Op::moveToTrash : Op::removeFile), 0);
        EXPECT_EQ(room.harness.pm().recycleBin().size(), 800);
        EXPECT_EQ(room.logged(QStringLiteral("kept in reserve for the records")), 0);
        EXPECT_EQ(room.logged(QStringLiteral("Records could not be kept")), 1);
        EXPECT_EQ(room.logged(QStringLiteral("Delete failed")), 0);
        volume.unfill();
        room.expectTheNextStartAgrees(expected);
    });
}

// The room was there when the run began, then something else filled the disk: the reserve takes
// what it can, and when even that is not enough the run stops cleanly. What it removed is recorded,
// the rest stays where it is and in the bin, and the next start agrees.
TEST(RecordRoom, WhenEvenTheReserveIsNotEnoughTheRunStopsAndKeepsTheRest) {
    SMALL_VOLUME_OR_SKIP(volume, 4 << 20);
    SmallReserve reserve(128 * 1024);
    forTrashAndDeletion(volume, [&](Room& room, bool toTrash) {
        const RecordExpectation expected = room.stage(800, 100, toTrash);
        ASSERT_TRUE(RecordReserve::ensure(room.store));
        volume.fill(800 * 1024);
        room.fillBefore(volume, 50, {Op::moveToTrash, Op::removeFile});

        const ActionResult result = room.run(toTrash);
        room.files->setBeforeEach({});
        EXPECT_GE(result.succeeded, 50);
        EXPECT_LT(result.succeeded, 800);
        EXPECT_EQ(result.succeeded + result.failed, 800);
        EXPECT_TRUE(result.unrecorded.startsWith(
            QStringLiteral("The run stopped because its records could not be kept (") +
            qt_error_string(ENOSPC)))
            << result.unrecorded.toStdString();
        EXPECT_EQ(room.harness.pm().recycleBin().size(), result.failed);
        EXPECT_EQ(room.audit.count(), result.succeeded);
        EXPECT_EQ(room.stats.stats().filesDeleted, result.succeeded);
        EXPECT_EQ(room.logged(QStringLiteral("Records could not be kept")), 1);
        EXPECT_EQ(room.logged(QStringLiteral("Delete failed")), 0);
        volume.unfill();
        room.expectTheNextStartAgrees(expected);
    });
}

// Moving the bin to a folder makes sure of its room and stops the same way: without room it moves
// nothing; when the disk fills up mid-run it keeps the rest where it is, and the next start agrees.
TEST(RecordRoom, AMoveToAFolderStopsTheSameWay) {
    SMALL_VOLUME_OR_SKIP(volume, 4 << 20);
    SmallReserve reserve(128 * 1024);
    for (const bool midRun : {false, true}) {
        SCOPED_TRACE(midRun ? "filled mid-run" : "no room");
        QTemporaryDir mediaDir;
        QTemporaryDir archive;
        Room room(folderOn(volume, midRun ? QStringLiteral("mid") : QStringLiteral("none")), mediaDir.path());
        RecordExpectation expected = room.stage(800, 100, false);
        expected.action = AuditAction::movedToFolder;
        expected.counter = RecordExpectation::Counter::filesMoved;
        if (midRun) {
            ASSERT_TRUE(RecordReserve::ensure(room.store));
            volume.fill(800 * 1024);
            room.fillBefore(volume, 50, {Op::moveNoReplace});
        } else {
            volume.fill(16 * 1024);
        }

        const ActionResult result = room.moveTo(archive.path());
        room.files->setBeforeEach({});
        if (midRun) {
            EXPECT_EQ(result.succeeded + result.failed, 800);
            EXPECT_GE(result.succeeded, 50);
            EXPECT_LT(result.succeeded, 800);
            EXPECT_TRUE(result.unrecorded.startsWith(
                QStringLiteral("The run stopped because its records could not be kept (")))
                << result.unrecorded.toStdString();
            EXPECT_EQ(room.harness.pm().recycleBin().size(), result.failed);
        } else {
            // Not started, as a Trash or a deletion without room: one reason.
            EXPECT_EQ(result.succeeded, 0);
            EXPECT_TRUE(result.refused);
            EXPECT_EQ(result.errors.size(), 1);
            EXPECT_EQ(room.files->count(Op::moveNoReplace), 0);
            EXPECT_EQ(room.harness.pm().recycleBin().size(), 800);
        }
        EXPECT_EQ(room.audit.count(), result.succeeded);
        EXPECT_EQ(room.stats.stats().filesMoved, result.succeeded);
        EXPECT_EQ(room.logged(QStringLiteral("Records could not be kept")), 1);
        EXPECT_EQ(room.logged(QStringLiteral("Move failed")), 0);
        volume.unfill();
        room.expectTheNextStartAgrees(expected);
    }
}

// Another program fills the disk after every file: the reserve gives the records only what each
// write needs, so the other writer never takes the rest, and every file is removed and recorded.
TEST(RecordRoom, AnotherWriterFillingTheDiskDuringARunTakesNothingOfTheReserve) {
    SMALL_VOLUME_OR_SKIP(volume, 4 << 20);
    SmallReserve reserve(1 << 20);
    forTrashAndDeletion(volume, [&](Room& room, bool toTrash) {
        const RecordExpectation expected = room.stage(600, 100, toTrash);
        ASSERT_TRUE(RecordReserve::ensure(room.store));
        volume.fill();
        room.files->setBeforeEach([&volume](Op op, const QString&) {
            if (op == Op::moveToTrash || op == Op::removeFile)
                volume.fill();
        });

        const ActionResult result = room.run(toTrash);
        room.files->setBeforeEach({});
        EXPECT_EQ(result.succeeded, 600);
        EXPECT_EQ(result.failed, 0) << result.errors.value(0).toStdString();
        EXPECT_TRUE(result.unrecorded.isEmpty()) << result.unrecorded.toStdString();
        EXPECT_EQ(room.audit.count(), 600);
        EXPECT_EQ(room.logged(QStringLiteral("kept in reserve for the records")), 1);
        EXPECT_EQ(room.logged(QStringLiteral("Records could not be kept")), 0);
        volume.unfill();
        room.expectTheNextStartAgrees(expected);
    });
}

// The store and the media on one full disk, the folder on another: what the move takes off the
// store's disk counts as room for its records, so it goes where the reserve alone would not do.
TEST(RecordRoom, AMoveOffTheStoresDiskCountsTheRoomItFrees) {
    SMALL_VOLUME_OR_SKIP(volume, 12 << 20);
    QTemporaryDir archive;
    Room room(folderOn(volume, QStringLiteral("store")), volume.path() + QStringLiteral("/media"));
    RecordExpectation expected = room.stage(600, 12 * 1024, false);
    expected.action = AuditAction::movedToFolder;
    expected.counter = RecordExpectation::Counter::filesMoved;
    qint64 records = 0;
    for (auto it = expected.done.cbegin(); it != expected.done.cend(); ++it)
        records += RecordJournal::estimatedRecordBytes(it.key(), it.key(), {}, archive.path() + it.key());
    // Less than the records need, more than the first batch of them.
    SmallReserve reserve((records * 3 / 4) / 4096 * 4096);
    ASSERT_TRUE(RecordReserve::ensure(room.store));
    volume.fill();

    const ActionResult result = room.moveTo(archive.path());
    EXPECT_FALSE(result.refused) << result.errors.value(0).toStdString();
    EXPECT_EQ(result.succeeded, 600);
    EXPECT_EQ(result.failed, 0) << result.errors.value(0).toStdString();
    EXPECT_TRUE(result.unrecorded.isEmpty()) << result.unrecorded.toStdString();
    EXPECT_EQ(room.audit.count(), 600);
    EXPECT_EQ(room.stats.stats().filesMoved, 600);
    volume.unfill();
    room.expectTheNextStartAgrees(expected);
}

// A full disk refuses a run's trace file: its lines wait with the records, the next start writes
// them (once), and the entries and counts stay as they were.
TEST(RecordRoom, TraceLinesAFullDiskRefusedAreWrittenByTheNextStart) {
    SMALL_VOLUME_OR_SKIP(volume, 1 << 20);
    QTemporaryDir storeDir;
    const QString store = storeDir.path();
    const QString media = volume.filePath(QStringLiteral("media/x")).chopped(2);
    const QDateTime at(QDate(2025, 3, 14), QTime(9, 26, 53));
    TraceFileWriter traces([at] { return at; });
    test::DiskFactsLogCapture log;
    const auto reported = std::make_shared<CountedReviews>();
    {
        AuditLogManager audit(store, reported);
        StatsManager stats(store);
        RecordRun run(&audit.journal(), RecordKind::deletion, true);
        for (int i = 0; i < 40; ++i) {
            MediaFile file = tarnwick::testing::media(media + QStringLiteral("/clip %1.mov").arg(i), 0,
                                                      MediaFileStatus::inRecycleBin, 1000 + i);
            FileRecord record;
            record.entry = AuditLogEntry::make(AuditAction::deletedPermanently, file, std::nullopt);
            record.target = file.path;
            record.files = 1;
            record.bytes = file.size;
            record.traced = true;
            run.done(run.intend(record));
        }
        volume.fill();
        RecordMerge::closeRun(run, {&audit, &stats, &traces});
        EXPECT_EQ(audit.count(), 40);
        EXPECT_EQ(stats.stats().filesDeleted, 40);
    }
    EXPECT_TRUE(log.contains(QStringLiteral("Failed to write trace file: ") + qt_error_string(ENOSPC)));
    volume.unfill();

    EXPECT_EQ(reported->count, 40);
    for (int start = 0; start < 2; ++start) {
        AuditLogManager audit(store, reported);
        StatsManager stats(store);
        RecordMerge::mergeAtStart({&audit, &stats, &traces}, *FileOperations::system());
        EXPECT_EQ(audit.count(), 40);
        EXPECT_EQ(stats.stats().filesDeleted, 40);
        const QStringList names = QDir(media).entryList({QStringLiteral("Tarnwick_Trace_*")});
        ASSERT_EQ(names.size(), 1);
        QFile file(QDir(media).filePath(names.front()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        EXPECT_TRUE(text.contains("Files Removed: 40\n"));
        EXPECT_TRUE(text.endsWith("Keep your projects clean! \xF0\x9F\x8E\xAC\n"));
        EXPECT_TRUE(audit.journal().read().runs.isEmpty() || audit.journal().read().runs.front().closed);
    }
    EXPECT_EQ(reported->count, 40) << "the review prompt counts the run once";
}

// Another program fills the disk while a deletion runs beside it: the reserve's room went to the
// journal whole, so every line of the run lands in it and the other writer takes none of it. (The
// writer stops with the last file: the statistics of the run's end are written in the room freed
// for them, which another writer could take first.)
TEST(RecordRoom, AWriterFillingTheDiskBesideARunTakesNoneOfTheReserve) {
    SMALL_VOLUME_OR_SKIP(volume, 8 << 20);
    SmallReserve reserve(1 << 20);
    QTemporaryDir mediaDir;
    Room room(folderOn(volume, QStringLiteral("store")), mediaDir.path());
    // Lines for about three quarters of the reserve.
    const int files = int((1 << 20) * 3 / 4 / 560);
    const RecordExpectation expected = room.stage(files, 100, false);
    ASSERT_TRUE(RecordReserve::ensure(room.store));
    const qint64 whole = RecordReserve::held(room.store);
    volume.fill();
    std::optional<DiskFiller> other;
    other.emplace(volume.path() + QStringLiteral("/.other"));
    auto removals = std::make_shared<int>(0);
    room.files->setBeforeEach([&other, removals, files](Op op, const QString&) {
        if (op == Op::removeFile && ++*removals == files)
            other->stop();
    });

    const ActionResult result = room.run(false);
    room.files->setBeforeEach({});
    other->stop();
    EXPECT_EQ(result.succeeded, files);
    EXPECT_EQ(result.failed, 0) << result.errors.value(0).toStdString();
    EXPECT_TRUE(result.unrecorded.isEmpty()) << result.unrecorded.toStdString();
    EXPECT_EQ(room.audit.count(), files);
    EXPECT_EQ(room.stats.stats().filesDeleted, files);
    // What the reserve held is the journal's now: its lines and the room still ahead of them.
    const QStringList journal = room.audit.journal().files();
    ASSERT_EQ(journal.size(), 2);
    EXPECT_GE(QFileInfo(journal.last()).size() + RecordReserve::held(room.store) + 4 * 4096, whole)
        << "the other writer took " << other->taken() << " bytes";
    EXPECT_EQ(room.logged(QStringLiteral("kept in reserve for the records")), 1);
    other.reset();
    volume.unfill();
    room.expectTheNextStartAgrees(expected);
}

// With another writer filling the disk throughout, a run longer than the reserve holds removes as
// many files as the reserve's room takes the lines of, then stops cleanly with the rest kept; the
// next start agrees. TARNWICK_RESERVE_BYTES runs it at another reserve size (the default's 8 MB
// gives the figure the README states).
TEST(RecordRoom, ARunBesideAWriterFillingTheDiskGoesAsFarAsTheReserveAllows) {
    const qint64 size = qEnvironmentVariableIntValue("TARNWICK_RESERVE_BYTES") > 0
                            ? qint64(qEnvironmentVariableIntValue("TARNWICK_RESERVE_BYTES"))
                            : qint64(1) << 20;
    // Room for the reserve twice, and for the run's first records beside it.
    SMALL_VOLUME_OR_SKIP(volume, 6 * size);
    SmallReserve reserve(size);
    QTemporaryDir mediaDir;
    Room room(folderOn(volume, QStringLiteral("store")), mediaDir.path());
    room.layout = QStringLiteral("/Projects/Client Spot 2026/Footage/Day 2/Card %1/A001_C%2_0215XY.MP4");
    room.projects = {QStringLiteral("Client Spot v3")};
    const int files = int(size / 560 * 2);
    const RecordExpectation expected = room.stage(files, 10, false);
    ASSERT_TRUE(RecordReserve::ensure(room.store));
    // The disk fills up right before the first file goes, and stays full.
    std::optional<DiskFiller> other;
    room.files->setBeforeEach([&other, &volume](Op op, const QString&) {
        if (op == Op::removeFile && !other) {
            volume.fill();
            other.emplace(volume.path() + QStringLiteral("/.other"));
        }
    });

    const ActionResult result = room.run(false);
    room.files->setBeforeEach({});
    ASSERT_TRUE(other);
    other->stop();
    EXPECT_GT(result.succeeded, 0);
    EXPECT_LT(result.succeeded, files);
    EXPECT_EQ(result.succeeded + result.failed, files);
    EXPECT_TRUE(result.unrecorded.startsWith(
        QStringLiteral("The run stopped because its records could not be kept (")))
        << result.unrecorded.toStdString();
    // The files whose lines the reserve took: its room, less its end part, filled with lines.
    const QStringList journal = room.audit.journal().files();
    ASSERT_EQ(journal.size(), 2);
    const JournalContents contents = room.audit.journal().read();
    ASSERT_EQ(contents.runs.size(), 1);
    const qint64 lineBytes = room.audit.journal().size() / contents.runs.front().items.size();
    const qint64 inReserve = QFileInfo(journal.last()).size();
    // A batch of intents that does not fit stops the run whole.
    EXPECT_GE(inReserve, size - RecordReserve::endPart - RecordRun::intentBatch * lineBytes)
        << "the other writer took " << other->taken() << " bytes";
    std::printf("a reserve of %lld bytes held the lines of %lld files (%lld bytes each); the run "
                "removed %lld of %d files\n",
                size, (size - RecordReserve::endPart) / lineBytes, lineBytes, qint64(result.succeeded),
                files);
    other.reset();
    volume.unfill();
    room.expectTheNextStartAgrees(expected);
}

// The Trash's own disk (the store's too) fills up mid-run, another program writing there: the first
// file whose info finds no room stops the run. The rest stay, the sheet and the log give the reason
// once, the intents of the files that stayed are decided as not done, and the next start agrees.
TEST(RecordRoom, ATrashWhoseDiskFillsMidRunStopsAtTheFirstRefusedInfo) {
    SMALL_VOLUME_OR_SKIP(volume, 16 << 20);
    SmallReserve reserve(1 << 20);
    Room room(folderOn(volume, QStringLiteral("store")), volume.path() + QStringLiteral("/media"));
    constexpr int files = 600;
    const RecordExpectation expected = room.stage(files, 100, true);
    // The helper makes the first 100 infos ahead: some of them before the disk fills, and then the
    // run makes the rest itself.
    struct AheadFor100 : LinuxFileOperations {
        void expectTrash(const QStringList& paths) override {
            LinuxFileOperations::expectTrash(paths.mid(0, 100));
        }
    };
    room.files = std::make_shared<FaultInjectingFileOperations>(std::make_shared<AheadFor100>());
    ASSERT_TRUE(RecordReserve::ensure(room.store));
    std::optional<DiskFiller> other;
    auto steps = std::make_shared<int>(0);
    room.files->setBeforeEach([&other, &volume, steps](Op op, const QString&) {
        if (op == Op::moveToTrash && ++*steps == 50) {
            volume.fill();
            other.emplace(volume.path() + QStringLiteral("/.other"));
        }
    });

    const ActionResult result = room.run(true);
    room.files->setBeforeEach({});
    ASSERT_TRUE(other);
    other->stop();
    const qsizetype full = room.logged(QStringLiteral("the disk of the Trash is full"));
    std::printf("the Trash's disk full at file 50 of %d: %lld trashed, %lld log line(s) saying so, %lld "
                "error line(s) on the sheet\n",
                files, qint64(result.succeeded), qint64(full), qint64(result.errors.size()));
    EXPECT_GE(result.succeeded, 49);
    EXPECT_LE(result.succeeded, 100);
    EXPECT_EQ(result.succeeded + result.failed, files);
    const QString stopped = QStringLiteral("The run stopped because the disk of the Trash is full (") +
                            qt_error_string(ENOSPC) + QStringLiteral("): ") + QString::number(result.failed) +
                            QStringLiteral(" file(s) were left untouched.");
    // The other writer may take the blocks the reserve gives back before the run's end writes its
    // statistics: then the next start records the run, which it is checked to do below.
    const QString statsWaiting =
        QStringLiteral(" ") + QString::number(result.succeeded) +
        QStringLiteral(" removed file(s) could not be recorded yet (the statistics could "
                       "not be written); the next start records them.");
    EXPECT_TRUE(result.unrecorded == stopped || result.unrecorded == stopped + statsWaiting)
        << result.unrecorded.toStdString();
    EXPECT_TRUE(result.errors.isEmpty()) << result.errors.value(0).toStdString();
    EXPECT_EQ(full, 1);
    EXPECT_EQ(room.harness.pm().recycleBin().size(), result.failed);
    // No intent beyond the batch that was going and the one written ahead of it, each decided.
    const JournalContents journal = room.audit.journal().read();
    ASSERT_EQ(journal.runs.size(), 1);
    EXPECT_LE(journal.runs.front().items.size(), result.succeeded + 2 * RecordRun::intentBatch);
    for (const JournalRun::Item& item : journal.runs.front().items) {
        const JournalRun::State state =
            QFileInfo::exists(item.record.target) ? JournalRun::State::failed : JournalRun::State::done;
        EXPECT_EQ(item.state, state) << item.record.target.toStdString();
    }
    const QStringList problems = placeProblems(expected, true, volume.path());
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    other.reset();
    volume.unfill();
    room.expectTheNextStartAgrees(expected);
}

// The media's disk stays full, so a run's trace file waits in the journal: the audit log shows
// every entry the statistics count, read afresh and at each start while it waits; a run a kill cut
// short the same, once a start decided it.
TEST(RecordRoom, EntriesTheStatisticsCountAreShownWhileTheirTraceFileWaits) {
    SMALL_VOLUME_OR_SKIP(volume, 1 << 20);
    const QDateTime at(QDate(2025, 3, 14), QTime(9, 26, 53));
    TraceFileWriter traces([at] { return at; });
    test::DiskFactsLogCapture log;
    constexpr int files = 40;
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed" : "closed");
        QTemporaryDir storeDir;
        const QString store = storeDir.path();
        const QString media =
            volume.filePath(killed ? QStringLiteral("killed/x") : QStringLiteral("closed/x")).chopped(2);
        {
            AuditLogManager audit(store, nullptr);
            StatsManager stats(store);
            RecordRun run(&audit.journal(), RecordKind::deletion, true);
            for (int i = 0; i < files; ++i) {
                const MediaFile file = tarnwick::testing::media(media + QStringLiteral("/clip %1.mov").arg(i),
                                                                0, MediaFileStatus::inRecycleBin, 1000 + i);
                FileRecord record;
                record.entry = AuditLogEntry::make(AuditAction::deletedPermanently, file, std::nullopt);
                record.target = file.path;
                record.files = 1;
                record.bytes = file.size;
                record.traced = true;
                const int seq = run.intend(record);
                if (!killed)
                    run.done(seq); // the file never was: a kill's next start finds it gone
            }
            volume.fill();
            // Killed: the run is left as a kill leaves it, its intents in the journal.
            if (!killed)
                RecordMerge::closeRun(run, {&audit, &stats, &traces});
        }
        for (int start = 0; start < 2; ++start) {
            SCOPED_TRACE(start);
            AuditLogManager audit(store, nullptr);
            StatsManager stats(store);
            RecordMerge::mergeAtStart({&audit, &stats, &traces}, *FileOperations::system());
            EXPECT_EQ(stats.stats().filesDeleted, files);
            EXPECT_EQ(audit.count(), files);
            const AuditLogManager afresh(store, nullptr);
            EXPECT_EQ(afresh.count(), files);
            ASSERT_EQ(audit.journal().read().runs.size(), 1);
            EXPECT_FALSE(audit.journal().read().runs.front().closed) << "it waits for its trace file";
        }
        volume.unfill();
    }
}

} // namespace
