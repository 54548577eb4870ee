#include "stores/RecordRun.h"

#include "platform/AppLog.h"
#include "platform/ByteCountText.h"
#include "platform/MemoryRelease.h"
#include "platform/VolumeCapacity.h"
#include "stores/RecordReserve.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

namespace tarnwick {

RecordRun::RecordRun(RecordJournal* journal, RecordKind kind, bool writesTraceFiles) : m_journal(journal) {
    m_run.id = QString::number(QRandomGenerator::global()->generate64(), 16);
    m_run.kind = kind;
    m_run.writesTraceFiles = writesTraceFiles;
    m_sinceSync.start();
    if (m_journal) {
        m_journal->runOpened();
        // Written with the first record: a run refused for room leaves no line and the records'
        // reserve whole.
        write(RecordJournal::runLine(m_run.id, kind, writesTraceFiles), false);
    }
}

RecordRun::~RecordRun() {
    if (m_journal) {
        // A run closed by its merge is on the disk already.
        if (m_unsynced || !m_pending.isEmpty())
            sync();
        m_journal->runClosed();
    }
    // A record per file: a large run's are freed on the release thread, not in the caller's turn.
    if (m_run.items.size() >= releaseLaterFrom)
        memory::releaseLater(std::move(m_run.items));
}

bool RecordRun::flush() {
    // Stopped before its own line went in: the run writes nothing at all.
    if (!m_began && !m_stopReason.isEmpty())
        m_pending.truncate(0);
    if (m_pending.isEmpty())
        return true;
    if (!m_journal->append(m_pending))
        return false;
    m_pending.truncate(0); // keeps its room for the next lines
    m_unsynced = true;
    m_began = true;
    return true;
}

void RecordRun::write(const QByteArray& line, bool now) {
    if (!m_journal)
        return;
    m_pending += line;
    ++m_linesSinceSync;
    // A decided line may wait for the next one: until it is written the disk decides for it.
    if (now)
        writePending();
}

void RecordRun::writePending() {
    if (!m_journal || m_journal->deferred())
        return;
    if (!flush())
        return;
    if (m_linesSinceSync >= syncEveryLines || m_sinceSync.elapsed() >= syncEveryMs) {
        m_journal->syncLater();
        m_linesSinceSync = 0;
        m_sinceSync.restart();
    }
}

// The intents just written, with every line before them, reach the disk before any of their steps:
// a power cut can keep a rename or an unlink and drop lines appended but not yet synced.
void RecordRun::makeDurable() {
    if (!syncDue())
        return;
    if (!m_journal->sync()) {
        stop(QStringLiteral("the records journal could not be synced: ") + qt_error_string(errno));
        return;
    }
    m_unsynced = false;
    m_linesSinceSync = 0;
    m_sinceSync.restart();
}

void RecordRun::stop(const QString& reason) {
    if (!m_stopReason.isEmpty())
        return;
    m_stopReason = reason;
    // No intent in the journal yet: no file was touched.
    m_stoppedBeforeSteps = m_unwrittenFrom == 0 || m_run.items.isEmpty();
    // The one line for the condition: the files it keeps are not logged one by one.
    AppLog::error(QStringLiteral("Records could not be kept: ") + reason +
                  QStringLiteral(" — the run stops; the files not yet touched are kept"));
}

void RecordRun::stopSteps(const QString& reason) {
    if (!m_stopReason.isEmpty())
        return;
    m_stopReason = reason;
    m_stoppedBySteps = true;
}

// Intents not in the journal: no step may go ahead on them. `before` is where they begin in the
// pending lines, `firstSeq` the first of them (-1: the run's own line).
void RecordRun::checkWritten(qsizetype before, int firstSeq) {
    if (!m_journal || m_journal->deferred() || m_pending.isEmpty())
        return;
    const QString error = journalError(); // before the retry below clears it
    if (firstSeq >= 0) {
        // Their steps never happen, so they are dropped; the outcomes of the steps taken before
        // them are offered once more on their own (a little room may take them).
        m_pending.truncate(before);
        if (m_unwrittenFrom < 0)
            m_unwrittenFrom = firstSeq;
        flush();
    }
    stop(error.isEmpty() ? QStringLiteral("the records journal refused them") : error);
}

QString RecordRun::storeFolder() const {
    return m_journal ? QFileInfo(m_journal->path()).absolutePath() : QString();
}

void RecordRun::checkRoom(qint64 bytes, qint64 freedOnTheWay, qint64 besideRecords) {
    if (!m_journal || !m_stopReason.isEmpty())
        return;
    const QString folder = storeFolder();
    const std::optional<qint64> free = availableCapacity(folder);
    if (!free)
        return; // the volume does not say: the writes themselves will tell
    const qint64 need = bytes + RecordJournal::runEndBytes + besideRecords;
    const qint64 room = *free + RecordReserve::held(folder) + freedOnTheWay;
    // The reserve gives its room to the records alone.
    if (room >= need && *free + freedOnTheWay >= besideRecords)
        return;
    stop(QStringLiteral("not enough free space for the records: they need about ") +
         formatFileByteCount(need) + QStringLiteral(", the disk of the store folder has ") +
         (*free > 0 ? formatFileByteCount(*free) + QStringLiteral(" free")
                    : QStringLiteral("no free space left")));
}

int RecordRun::addIntent(FileRecord record, const RecordJournal::PreparedLine* line) {
    const int seq = int(m_run.items.size());
    // A stopped run takes no more steps: its intents stay in memory, settled as failed.
    if (m_journal && !m_stopReason.isEmpty() && m_unwrittenFrom < 0)
        m_unwrittenFrom = seq;
    if (m_journal && !unwritten(seq)) {
        write(line ? RecordJournal::recordLine(*line, record.identity, seq)
                   : RecordJournal::recordLine(m_run.id, seq, record, true),
              false);
    }
    m_run.items.append({seq, std::move(record), JournalRun::State::pending});
    return seq;
}

int RecordRun::intend(FileRecord record) {
    const qsizetype before = m_pending.size();
    const int seq = addIntent(std::move(record));
    writePending();
    checkWritten(before, seq);
    makeDurable();
    return seq;
}

QList<int> RecordRun::intendAll(QList<Planned> records, bool syncNow) {
    QList<int> seqs;
    seqs.reserve(records.size());
    const qsizetype before = m_pending.size();
    for (Planned& planned : records)
        seqs.append(addIntent(std::move(planned.record), &planned.line));
    if (!seqs.isEmpty()) {
        writePending();
        checkWritten(before, seqs.front());
        if (syncNow)
            makeDurable();
        else if (syncDue())
            m_syncTicket = m_journal->syncLater();
    }
    return seqs;
}

void RecordRun::awaitDurable() {
    if (!m_journal || !m_syncTicket)
        return;
    if (!m_journal->awaitSync(std::exchange(m_syncTicket, 0)))
        stop(QStringLiteral("the records journal could not be synced"));
}

void RecordRun::done(int seq, const std::optional<QDateTime>& at, const std::optional<QString>& destination) {
    if (seq < 0 || seq >= m_run.items.size())
        return;
    JournalRun::Item& item = m_run.items[seq];
    item.state = JournalRun::State::done;
    if (at)
        item.record.tracedAt = at;
    // Only a destination that differs from the planned one says anything (the reader applies it to
    // the entry alone): most moves keep the name they were planned with.
    const bool settles =
        destination && item.record.entry && item.record.entry->destinationPath != destination;
    if (settles)
        item.record.entry->destinationPath = destination;
    if (!unwritten(seq))
        write(RecordJournal::doneLine(m_run.id, seq, at, settles ? destination : std::nullopt), false);
}

void RecordRun::failed(int seq) {
    if (seq < 0 || seq >= m_run.items.size())
        return;
    m_run.items[seq].state = JournalRun::State::failed;
    if (!unwritten(seq))
        write(RecordJournal::failedLine(m_run.id, seq), false);
}

void RecordRun::record(FileRecord record) {
    const int seq = int(m_run.items.size());
    write(RecordJournal::recordLine(m_run.id, seq, record, false), true);
    m_run.items.append({seq, std::move(record), JournalRun::State::done});
}

void RecordRun::sync() {
    if (!m_journal)
        return;
    const bool written = flush();
    if (m_journal->sync() && written)
        m_unsynced = false;
    m_linesSinceSync = 0;
    m_sinceSync.restart();
}

qint64 RecordRun::countedFiles() const {
    qint64 files = 0;
    for (const JournalRun::Item& item : m_run.items) {
        if (item.state == JournalRun::State::done)
            files += item.record.files;
    }
    return files;
}

} // namespace tarnwick
