#include "stores/RecordJournal.h"

#include "model/MediaFile.h"
#include "stores/AuditLogIndex.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordRun.h"
#include "stores/StoreTestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>

namespace tarnwick {
namespace {

using testing::LogCapture;
using testing::readBytes;
using testing::writeBytes;

FileRecord removal(const QString& path, qint64 bytes) {
    MediaFile file;
    file.path = path;
    file.size = bytes;
    FileRecord record;
    record.entry = AuditLogEntry::make(AuditAction::deletedPermanently, file, std::nullopt);
    record.target = path;
    record.files = 1;
    record.bytes = bytes;
    record.traced = true;
    return record;
}

TEST(RecordJournal, EachFileLeavesItsLineAsItGoesAndATornLineIsSkipped) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("audit_log.journal"));
    RecordJournal journal(path);
    {
        RecordRun run(&journal, RecordKind::deletion, true);
        const int a = run.intend(removal(QStringLiteral("/m/a.mov"), 10));
        // Written before the disk step, without waiting for a sync: a kill from here on keeps it.
        ASSERT_EQ(journal.read().runs.size(), 1);
        EXPECT_EQ(journal.read().runs.front().items.size(), 1);
        run.done(a);
        run.failed(run.intend(removal(QStringLiteral("/m/b.mov"), 20)));
        FileRecord member = removal(QStringLiteral("/m/c.mov"), 0);
        member.target.clear();
        run.record(member);
        run.sync();
    }
    // A kill in the middle of a line, then the next start appends.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(R"({"k":"done","r":"0","n)");
    file.close();
    AuditLogEntry restored;
    restored.filePath = QStringLiteral("/m/r.mov");
    RecordJournal again(path);
    ASSERT_TRUE(again.append(RecordJournal::entryLine(restored)));

    const JournalContents contents = again.read();
    ASSERT_EQ(contents.runs.size(), 1);
    const JournalRun& run = contents.runs.front();
    EXPECT_EQ(run.kind, RecordKind::deletion);
    EXPECT_TRUE(run.writesTraceFiles);
    EXPECT_FALSE(run.closed);
    ASSERT_EQ(run.items.size(), 3);
    EXPECT_EQ(run.items[0].state, JournalRun::State::done);
    EXPECT_EQ(run.items[0].record.target, QStringLiteral("/m/a.mov"));
    EXPECT_EQ(run.items[0].record.bytes, 10);
    EXPECT_EQ(run.items[1].state, JournalRun::State::failed);
    EXPECT_EQ(run.items[2].state, JournalRun::State::done);
    // Only closed runs and entries of their own belong to the log.
    ASSERT_EQ(contents.entries.size(), 1);
    EXPECT_EQ(contents.entries.front().id, restored.id);
    EXPECT_EQ(contents.damagedLines, 1);
}

// A record line is read whole: a bad identity or a mistyped field makes it damaged, not half read.
TEST(RecordJournal, ALineWithABadFieldIsDamagedWhole) {
    QTemporaryDir dir;
    RecordJournal journal(dir.filePath(QStringLiteral("audit_log.journal")));
    FileRecord good = removal(QStringLiteral("/m/a.mov"), 10);
    good.identity = FileIdentity{1, 2, 10, 3};
    const QByteArray lines = RecordJournal::runLine(QStringLiteral("r1"), RecordKind::deletion, false) +
                             RecordJournal::recordLine(QStringLiteral("r1"), 0, good, true);
    const auto altered = [](QByteArray line, const QByteArray& from, const QByteArray& to) {
        EXPECT_TRUE(line.contains(from)) << line.constData();
        return line.replace(from, to);
    };
    const QByteArray badIdentity =
        altered(RecordJournal::recordLine(QStringLiteral("r1"), 1, good, true), "1:2:10:3", "1:2:ten:3");
    const QByteArray mistyped =
        altered(RecordJournal::recordLine(QStringLiteral("r1"), 2, good, true), R"("b":10)", R"("b":"10")");
    const QByteArray badSettle =
        altered(RecordJournal::doneLine(QStringLiteral("r1"), 0, std::nullopt, QStringLiteral("/x")),
                R"("d":"\/x")", R"("d":7)");
    ASSERT_TRUE(journal.append(lines + badIdentity + mistyped + badSettle));

    const JournalContents contents = journal.read();
    EXPECT_EQ(contents.damagedLines, 3);
    ASSERT_EQ(contents.runs.size(), 1);
    ASSERT_EQ(contents.runs.front().items.size(), 1);
    EXPECT_EQ(contents.runs.front().items[0].record.identity, good.identity);
    EXPECT_EQ(contents.runs.front().items[0].state, JournalRun::State::pending);
}

// A full disk or a journal the user cannot write refuses an outcome: the run keeps it, in order,
// and writes it when the journal takes lines again, so no line of it is left without its run.
// (A refused intent stops the run instead: RecordReserveTest.)
TEST(RecordRun, KeepsRefusedOutcomesInOrderUntilTheJournalTakesThemAgain) {
    QTemporaryDir dir;
    LogCapture quiet;
    RecordJournal journal(dir.filePath(QStringLiteral("audit_log.journal")));
    int refuse = 0;
    journal.setWriteFaultForTesting([&refuse] { return refuse; });
    RecordRun run(&journal, RecordKind::deletion, false);
    const int a = run.intend(removal(QStringLiteral("/m/a.mov"), 10));
    const qint64 written = journal.size();
    refuse = ENOSPC;
    run.done(a);
    run.sync();
    EXPECT_FALSE(run.journaled());
    EXPECT_EQ(run.journalError(), qt_error_string(ENOSPC));
    EXPECT_TRUE(run.stopReason().isEmpty());
    EXPECT_EQ(journal.size(), written);

    refuse = 0; // space again
    run.failed(run.intend(removal(QStringLiteral("/m/b.mov"), 20)));
    run.done(run.intend(removal(QStringLiteral("/m/c.mov"), 30)));
    run.sync();
    EXPECT_TRUE(run.journaled());
    const JournalContents contents = journal.read();
    EXPECT_EQ(contents.damagedLines, 0);
    ASSERT_EQ(contents.runs.size(), 1);
    ASSERT_EQ(contents.runs.front().items.size(), 3);
    EXPECT_EQ(contents.runs.front().items[0].state, JournalRun::State::done);
    EXPECT_EQ(contents.runs.front().items[1].state, JournalRun::State::failed);
    EXPECT_EQ(contents.runs.front().items[2].state, JournalRun::State::done);
    ASSERT_TRUE(contents.runs.front().writer.has_value());
    EXPECT_EQ(*contents.runs.front().writer, leftover::currentWriter());
}

// The file size limit cuts a write short the way a full disk does, and it binds root too.
TEST(RecordJournal, AWriteCutShortIsTakenBackWhole) {
    QTemporaryDir dir;
    LogCapture quiet;
    const QString path = dir.filePath(QStringLiteral("audit_log.journal"));
    RecordJournal journal(path);
    ASSERT_TRUE(journal.append(RecordJournal::runLine(QStringLiteral("r1"), RecordKind::trash, false)));
    const qint64 before = journal.size();
    struct ::rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct ::rlimit limited = saved;
    limited.rlim_cur = rlim_t(before + 40);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = journal.append(RecordJournal::recordLine(
        QStringLiteral("r1"), 0, removal(QStringLiteral("/m/a long name for a long line.mov"), 1), true));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(journal.size(), before);
    EXPECT_FALSE(journal.lastError().isEmpty());
    ASSERT_TRUE(journal.append(RecordJournal::doneLine(QStringLiteral("r1"), 0, std::nullopt)));
    EXPECT_TRUE(journal.lastError().isEmpty());
    EXPECT_EQ(journal.read().damagedLines, 1); // the done line of an intent never written
}

// The index reads what the full decoder reads, from our compact form and from other encoders'.
TEST(AuditLogIndex, AgreesWithTheFullDecoderOnEveryFormItTakes) {
    const QByteArray ours =
        R"([{"action":"Moved to Folder","destinationPath":"\/a\/b.mov","fileName":"b.mov","filePath":)"
        R"("\/m\/b.mov","fileSize":2048,"id":"0B5C1A3E-2F4D-4C6B-9A8E-7D6C5B4A3F21","projectNames":["P"],)"
        R"("timestamp":786297600.5}])";
    const QByteArray loose = "[\n  {\"id\": \"{0b5c1a3e-2f4d-4c6b-9a8e-7d6c5b4a3f21}\", \"timestamp\": 1e3,\n"
                             "   \"action\": \"Restored\", \"filePath\": \"/m/caf\\u00e9 \\\"1\\\".mov\",\n"
                             "   \"fileName\": \"x\", \"fileSize\": -1, \"projectNames\": [ ],\n"
                             "   \"destinationPath\": null, \"future\": {\"a\": [1, true, null]}}\n]\n";
    const QByteArray fractionalNumbers = QByteArray(ours).replace("2048", "2.048e3");
    for (const QByteArray& bytes : {ours, loose, fractionalNumbers}) {
        const auto index = AuditLogIndex::build(bytes);
        ASSERT_TRUE(index.has_value()) << bytes.constData();
        const QJsonArray array = QJsonDocument::fromJson(bytes).array();
        ASSERT_EQ(index->size(), array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            const auto expected = AuditLogEntry::fromJson(array[i].toObject());
            ASSERT_TRUE(expected.has_value());
            EXPECT_EQ(index->entry(i), *expected);
            EXPECT_EQ(index->timestampMs(i), expected->timestamp.toMSecsSinceEpoch());
        }
        EXPECT_EQ(index->isCompact(), bytes == ours);
    }
    EXPECT_FALSE(AuditLogIndex::build(QByteArray(ours).replace("Moved to Folder", "Moved")).has_value());
    EXPECT_FALSE(AuditLogIndex::build(QByteArray(ours).replace(R"("fileName":"b.mov",)", "")).has_value());
}

// A kill between writing the folded log and emptying the journal: the entries are in both files.
TEST(AuditLogManagerJournal, EntriesInBothTheLogAndTheJournalCountOnce) {
    QTemporaryDir dir;
    LogCapture quiet;
    QByteArray journalBeforeFold;
    QList<AuditLogEntry> logged;
    {
        AuditLogManager manager(dir.path(), nullptr);
        MediaFile file;
        for (int i = 0; i < 3; ++i) {
            file.path = QStringLiteral("/m/%1.mov").arg(i);
            manager.log(AuditAction::movedToTrash, file);
        }
        logged = manager.entries();
        journalBeforeFold = readBytes(manager.journalFileName());
        ASSERT_TRUE(manager.compact());
    }
    writeBytes(dir.filePath(QStringLiteral("audit_log.journal")), journalBeforeFold);
    AuditLogManager manager(dir.path(), nullptr);
    EXPECT_EQ(manager.entries(), logged);
    ASSERT_TRUE(manager.compact());
    EXPECT_EQ(testing::readJson(manager.fileName()).array().size(), 3);
    EXPECT_EQ(AuditLogManager(dir.path(), nullptr).entries(), logged);
}

} // namespace
} // namespace tarnwick
