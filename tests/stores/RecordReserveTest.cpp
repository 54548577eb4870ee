// Where a run's records go when the disk or the journal file refuses them: the reserve in the
// store folder, released on a full disk and made again when room returns; a journal file that
// refuses lines followed by another one; a run that stops once its intents are kept nowhere.
#include "stores/RecordReserve.h"

#include "model/MediaFile.h"
#include "stores/RecordJournal.h"
#include "stores/RecordRun.h"
#include "stores/StatsManager.h"
#include "stores/StoreTestSupport.h"
#include "support/SmallVolume.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

namespace tarnwick {
namespace {

using testing::LogCapture;
using testing::SmallVolume;

FileRecord removal(const QString& path, qint64 bytes) {
    MediaFile file;
    file.path = path;
    file.size = bytes;
    FileRecord record;
    record.entry = AuditLogEntry::make(AuditAction::deletedPermanently, file, std::nullopt);
    record.target = path;
    record.files = 1;
    record.bytes = bytes;
    return record;
}

qsizetype count(const QStringList& lines, const QString& part) {
    return std::count_if(lines.cbegin(), lines.cend(),
                         [&](const QString& line) { return line.contains(part); });
}

// A test-sized reserve for the test's life.
struct SmallReserve {
    explicit SmallReserve(qint64 bytes) { RecordReserve::setSizeForTesting(bytes); }
    ~SmallReserve() { RecordReserve::setSizeForTesting(0); }
};

TEST(RecordReserve, IsMadeOnlyWhereItLeavesAsMuchFreeBesideIt) {
    SMALL_VOLUME_OR_SKIP(volume, 4 << 20);
    SmallReserve size(1 << 20);
    const QString store = volume.filePath(QStringLiteral("store/x")).chopped(2);
    volume.fill(qint64(3) << 19); // 1.5 MB free: a 1 MB reserve would take more than half
    EXPECT_FALSE(RecordReserve::ensure(store));
    EXPECT_EQ(RecordReserve::held(store), 0);
    volume.unfill();
    EXPECT_TRUE(RecordReserve::ensure(store));
    EXPECT_GE(RecordReserve::held(store), 1 << 20);
    EXPECT_FALSE(QFileInfo::exists(RecordReserve::path(store) + QStringLiteral(".part")));
    EXPECT_TRUE(RecordReserve::ensure(store)); // there already: nothing more is taken
    EXPECT_LT(volume.free(), (qint64(3) << 20) + 1);
}

// The disk is full: the journal's append takes from the reserve what its lines need, no more, and
// says so once; the statistics take theirs, until the reserve has nothing left to give.
TEST(RecordReserve, AFullDiskGivesTheJournalAndTheStatisticsWhatTheyNeed) {
    SMALL_VOLUME_OR_SKIP(volume, 4 << 20);
    SmallReserve size(1 << 20);
    LogCapture log;
    const QString store = volume.filePath(QStringLiteral("store/x")).chopped(2);
    ASSERT_TRUE(RecordReserve::ensure(store));
    RecordJournal journal(QDir(store).filePath(QStringLiteral("audit_log.journal")));
    volume.fill();
    ASSERT_LT(volume.free(), 4096);

    RecordRun run(&journal, RecordKind::deletion, false);
    for (int i = 0; i < 50; ++i)
        run.done(run.intend(removal(QStringLiteral("/media/clip %1.mov").arg(i), 10)));
    run.sync();
    EXPECT_TRUE(run.stopReason().isEmpty()) << run.stopReason().toStdString();
    EXPECT_TRUE(run.journaled());
    // The reserve became the journal's next file, its room ahead of the lines.
    const QStringList files = journal.files();
    ASSERT_EQ(files.size(), 2);
    EXPECT_FALSE(QFileInfo::exists(RecordReserve::path(store)));
    const qint64 afterLines = RecordReserve::held(store);
    EXPECT_LT(afterLines, 1 << 20);
    EXPECT_GE(afterLines + QFileInfo(files.last()).size() + 4096, 1 << 20)
        << "the lines took more than they needed";
    EXPECT_EQ(journal.read().runs.size(), 1);
    EXPECT_EQ(journal.read().runs.front().items.size(), 50);
    EXPECT_EQ(count(log.messages(), QStringLiteral("kept in reserve for the records")), 1);

    // The statistics of the run's end, on the same full disk, take the end part.
    volume.fill();
    StatsManager stats(store);
    const auto addOne = [](AllTimeStats s) {
        s.filesDeleted += 1;
        return s;
    };
    EXPECT_TRUE(stats.update(addOne));
    EXPECT_LT(RecordReserve::held(store), afterLines);
    EXPECT_GT(RecordReserve::held(store), 0);
    // Another writer takes whatever is left free each time: the reserve gives until it is gone.
    for (int i = 0; i < 1024 && RecordReserve::held(store) > 0; ++i) {
        volume.fill();
        EXPECT_TRUE(stats.update(addOne));
    }
    EXPECT_EQ(RecordReserve::held(store), 0);
    EXPECT_FALSE(QFileInfo::exists(RecordReserve::path(store)));
    volume.fill();
    EXPECT_FALSE(stats.update(addOne)) << "nothing left in reserve: the write fails";
    EXPECT_EQ(count(log.messages(), QStringLiteral("kept in reserve for the records")), 1);
}

// A reserve of zeros (a file system that cannot allocate ahead of a file's end, or a reserve an
// older version made) gives the journal exactly the blocks its lines need: another writer on the
// full disk finds nothing more to take.
TEST(RecordReserve, AReserveOfZerosGivesOnlyTheBlocksTheLinesNeed) {
    SMALL_VOLUME_OR_SKIP(volume, 4 << 20);
    SmallReserve size(1 << 20);
    LogCapture log;
    const QString store = volume.filePath(QStringLiteral("store/x")).chopped(2);
    {
        QFile zeros(RecordReserve::path(store));
        ASSERT_TRUE(zeros.open(QIODevice::WriteOnly));
        ASSERT_EQ(zeros.write(QByteArray(1 << 20, '\0')), 1 << 20);
    }
    ASSERT_TRUE(RecordReserve::ensure(store)) << "a whole reserve is kept as it is";
    RecordJournal journal(RecordJournal::pathIn(store));
    qint64 written = 0;
    for (int i = 0; i < 20; ++i) {
        volume.fill();
        const QByteArray line = QByteArray(9000 + 300 * i, 'j') + '\n';
        ASSERT_TRUE(journal.append(line));
        written += line.size();
        // What the journal holds, in whole blocks, is all the reserve gave.
        EXPECT_EQ(RecordReserve::held(store), (1 << 20) - (written + 4095) / 4096 * 4096);
    }
    EXPECT_EQ(journal.files().size(), 1);
    EXPECT_EQ(count(log.messages(), QStringLiteral("kept in reserve for the records")), 1);
}

// Only a regular file of ours is the reserve: a link (to a user's file), a folder or a user's file
// linked into its place is left as it is, said once, and the records go without a reserve.
TEST(RecordReserve, LeavesALinkAFolderOrAnotherNameOfAFileInItsPlaceAlone) {
    SMALL_VOLUME_OR_SKIP(volume, 4 << 20);
    SmallReserve size(1 << 20);
    LogCapture log;
    const QString users = volume.filePath(QStringLiteral("media/take 1.mov"));
    const QByteArray clip(512 * 1024, 'u');
    {
        QFile file(users);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(clip), clip.size());
    }
    for (const QString& kind :
         {QStringLiteral("link"), QStringLiteral("hard link"), QStringLiteral("folder")}) {
        SCOPED_TRACE(kind.toStdString());
        const QString store = volume.filePath(kind + QStringLiteral("/x")).chopped(2);
        const QByteArray place = QFile::encodeName(RecordReserve::path(store));
        if (kind == QStringLiteral("link"))
            ASSERT_EQ(::symlink(QFile::encodeName(users).constData(), place.constData()), 0);
        else if (kind == QStringLiteral("hard link"))
            ASSERT_EQ(::link(QFile::encodeName(users).constData(), place.constData()), 0);
        else
            ASSERT_TRUE(QDir().mkpath(RecordReserve::path(store)));
        EXPECT_EQ(RecordReserve::held(store), 0);
        EXPECT_FALSE(RecordReserve::ensure(store));
        EXPECT_FALSE(RecordReserve::releaseFor(store, 4096));
        EXPECT_FALSE(RecordReserve::releaseFor(store, 4096, true));

        // A full disk: the journal's lines find no reserve and are refused, nothing else happens.
        RecordJournal journal(QDir(store).filePath(QStringLiteral("audit_log.journal")));
        volume.fill();
        EXPECT_FALSE(journal.append(QByteArray(64 * 1024, 'j') + '\n'));
        volume.unfill();

        const QFileInfo there(RecordReserve::path(store));
        EXPECT_TRUE(kind == QStringLiteral("folder") ? there.isDir() : there.exists());
        EXPECT_EQ(there.isSymLink(), kind == QStringLiteral("link"));
        QFile file(users);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), clip) << "the user's file is untouched";
    }
    EXPECT_EQ(count(log.messages(), QStringLiteral("is not a file of ours")), 1);
}

// The journal's own file refuses lines (an immutable file, one the user cannot write): the next
// file beside it takes them, reading keeps the run whole, and clearing removes the follower.
TEST(RecordJournal, AFileThatRefusesLinesIsFollowedByAnother) {
    QTemporaryDir dir;
    LogCapture log;
    const QString path = dir.filePath(QStringLiteral("audit_log.journal"));
    RecordJournal journal(path);
    bool refuseFirst = false;
    journal.setFileWriteFaultForTesting(
        [&](const QString& file) { return refuseFirst && file == path ? EPERM : 0; });
    RecordRun run(&journal, RecordKind::trash, false);
    run.done(run.intend(removal(QStringLiteral("/m/a.mov"), 1)));
    run.sync();
    refuseFirst = true;
    run.done(run.intend(removal(QStringLiteral("/m/b.mov"), 2)));
    run.done(run.intend(removal(QStringLiteral("/m/c.mov"), 3)));
    run.sync();
    EXPECT_TRUE(run.stopReason().isEmpty());
    EXPECT_TRUE(run.journaled());
    EXPECT_EQ(journal.files(), (QStringList{path, path + QStringLiteral(".1")}));
    const JournalContents contents = journal.read();
    EXPECT_EQ(contents.damagedLines, 0);
    ASSERT_EQ(contents.runs.size(), 1);
    ASSERT_EQ(contents.runs.front().items.size(), 3);
    for (const JournalRun::Item& item : contents.runs.front().items)
        EXPECT_EQ(item.state, JournalRun::State::done);
    EXPECT_EQ(count(log.messages(), QStringLiteral("they go to audit_log.journal.1")), 1);
    EXPECT_GT(journal.size(), QFileInfo(path).size());

    // A later process appends where the last one left off, so reading keeps the order.
    const qint64 firstSize = QFileInfo(path).size();
    RecordJournal later(path);
    ASSERT_TRUE(later.append(RecordJournal::closedLine(run.id())));
    EXPECT_TRUE(later.read().runs.front().closed);
    EXPECT_EQ(QFileInfo(path).size(), firstSize);
    // The run is still open in this process: clearing waits for it.
    EXPECT_FALSE(journal.clear());
}

TEST(RecordJournal, ClearingRemovesTheFollowingFiles) {
    QTemporaryDir dir;
    LogCapture quiet;
    const QString path = dir.filePath(QStringLiteral("audit_log.journal"));
    RecordJournal journal(path);
    journal.setFileWriteFaultForTesting([&](const QString& file) { return file == path ? EACCES : 0; });
    ASSERT_TRUE(journal.append(RecordJournal::runLine(QStringLiteral("r1"), RecordKind::trash, false)));
    ASSERT_TRUE(QFileInfo::exists(path + QStringLiteral(".1")));
    EXPECT_FALSE(journal.clear()) << "its own file refuses to be emptied";
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral(".1")));
    EXPECT_EQ(journal.size(), 0);
    // Still refusing after the clear: followed anew, as at the first refusal.
    ASSERT_TRUE(journal.append(RecordJournal::runLine(QStringLiteral("r2"), RecordKind::trash, false)));
    EXPECT_TRUE(QFileInfo::exists(path + QStringLiteral(".1")));
    journal.setFileWriteFaultForTesting({});
    EXPECT_TRUE(journal.clear());
    ASSERT_TRUE(journal.append(RecordJournal::runLine(QStringLiteral("r3"), RecordKind::trash, false)));
    EXPECT_GT(QFileInfo(path).size(), 0);
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral(".1")));
}

// Every file of the journal refuses the run's intents (a full disk past the reserve, a folder that
// takes no file): the run stops, and keeps the lines it could not write, in order.
TEST(RecordRun, AnIntentKeptNowhereStopsTheRun) {
    QTemporaryDir dir;
    LogCapture log;
    RecordJournal journal(dir.filePath(QStringLiteral("audit_log.journal")));
    int refuse = 0;
    journal.setWriteFaultForTesting([&refuse] { return refuse; });
    RecordRun run(&journal, RecordKind::deletion, false);
    run.done(run.intend(removal(QStringLiteral("/m/a.mov"), 10)));
    EXPECT_TRUE(run.stopReason().isEmpty());
    refuse = ENOSPC;
    const int b = run.intend(removal(QStringLiteral("/m/b.mov"), 20));
    EXPECT_EQ(run.stopReason(), qt_error_string(ENOSPC));
    run.failed(b);
    run.keptForStop();
    run.sync();
    EXPECT_FALSE(run.journaled());
    EXPECT_EQ(run.keptForStopCount(), 1);
    EXPECT_EQ(count(log.messages(), QStringLiteral("Records could not be kept")), 1);
    // No step goes ahead on b: its intent is dropped, its outcome lives in memory only.
    EXPECT_EQ(run.contents().items.at(b).state, JournalRun::State::failed);
    const int c = run.intend(removal(QStringLiteral("/m/c.mov"), 30));
    run.failed(c);
    refuse = 0;
    run.sync();
    EXPECT_TRUE(run.journaled());
    ASSERT_EQ(journal.read().runs.size(), 1);
    ASSERT_EQ(journal.read().runs.front().items.size(), 1);
    EXPECT_EQ(journal.read().runs.front().items[0].state, JournalRun::State::done);
    EXPECT_EQ(journal.read().damagedLines, 0);
}

// Before the first step: the room the run's lines need on the store's disk, the reserve counted.
TEST(RecordRun, ARunWithoutRoomForItsRecordsStopsBeforeItBegins) {
    SMALL_VOLUME_OR_SKIP(volume, 4 << 20);
    SmallReserve size(1 << 20);
    LogCapture quiet;
    const QString store = volume.filePath(QStringLiteral("store/x")).chopped(2);
    ASSERT_TRUE(RecordReserve::ensure(store));
    RecordJournal journal(QDir(store).filePath(QStringLiteral("audit_log.journal")));
    volume.fill(64 * 1024);
    {
        RecordRun run(&journal, RecordKind::trash, false);
        run.checkRoom(512 * 1024); // the reserve holds it
        EXPECT_TRUE(run.stopReason().isEmpty());
    }
    {
        RecordRun run(&journal, RecordKind::trash, false);
        run.checkRoom(qint64(3) << 20);
        EXPECT_TRUE(run.stopReason().startsWith(QStringLiteral("not enough free space for the records")))
            << run.stopReason().toStdString();
    }
    {
        RecordRun run(&journal, RecordKind::deletion, false);
        run.checkRoom(qint64(3) << 20, qint64(3) << 20); // what the run removes there frees it
        EXPECT_TRUE(run.stopReason().isEmpty());
    }
}

TEST(RecordJournal, EstimatesARecordFromTheTextsItCarries) {
    const QString path = QStringLiteral("/Volumes/Shoot 12/Card A/clip é 001.mov");
    MediaFile file;
    file.path = path;
    file.size = 1234;
    file.projectNames = {QStringLiteral("Edit v3"), QStringLiteral("Trailer")};
    FileRecord record;
    record.entry = AuditLogEntry::make(AuditAction::movedToTrash, file, std::nullopt);
    record.target = path;
    record.files = 1;
    record.bytes = 1234;
    record.traced = true;
    record.identity = FileIdentity{2049, 123456789, 1234, 1700000000123456789};
    const qint64 actual =
        RecordJournal::recordLine(QStringLiteral("0123456789abcdef"), 12345, record, true).size() +
        RecordJournal::doneLine(QStringLiteral("0123456789abcdef"), 12345, QDateTime::currentDateTimeUtc())
            .size();
    const qint64 estimate = RecordJournal::estimatedRecordBytes(path, path, file.projectNames);
    EXPECT_GE(estimate, actual);
    EXPECT_LT(estimate, actual * 3 / 2);
}

} // namespace
} // namespace tarnwick
