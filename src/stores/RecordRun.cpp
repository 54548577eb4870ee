#include "stores/RecordRun.h"

#include "platform/MemoryRelease.h"

#include <QRandomGenerator>

namespace tarnwick {

RecordRun::RecordRun(RecordJournal* journal, RecordKind kind, bool writesTraceFiles) : m_journal(journal) {
    m_run.id = QString::number(QRandomGenerator::global()->generate64(), 16);
    m_run.kind = kind;
    m_run.writesTraceFiles = writesTraceFiles;
    m_sinceSync.start();
    if (m_journal) {
        m_journal->runOpened();
        write(RecordJournal::runLine(m_run.id, kind, writesTraceFiles), true);
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
    if (m_pending.isEmpty())
        return true;
    // While the journal refuses lines, try again once in a while rather than on every line.
    if (m_sinceRefused.isValid() && m_sinceRefused.elapsed() < syncEveryMs)
        return false;
    if (!m_journal->append(m_pending)) {
        m_sinceRefused.start();
        return false;
    }
    m_sinceRefused.invalidate();
    m_pending.truncate(0); // keeps its room for the next lines
    m_unsynced = true;
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
        m_journal->syncSoon();
        m_linesSinceSync = 0;
        m_sinceSync.restart();
    }
}

int RecordRun::addIntent(FileRecord record, const RecordJournal::PreparedLine* line) {
    const int seq = int(m_run.items.size());
    if (m_journal) {
        write(line ? RecordJournal::recordLine(*line, record.identity, seq)
                   : RecordJournal::recordLine(m_run.id, seq, record, true),
              false);
    }
    m_run.items.append({seq, std::move(record), JournalRun::State::pending});
    return seq;
}

void RecordRun::checkFirstRecord() {
    if (m_firstChecked)
        return;
    m_firstChecked = true;
    // Nothing removed yet: a record that can be kept nowhere stops the run here.
    const QString fallback = journaled() || !m_fallbackCheck ? QString() : m_fallbackCheck();
    if (!fallback.isEmpty())
        m_stopReason = journalError().isEmpty() ? fallback : journalError();
}

int RecordRun::intend(FileRecord record) {
    const int seq = addIntent(std::move(record));
    writePending();
    checkFirstRecord();
    return seq;
}

QList<int> RecordRun::intendAll(QList<Planned> records) {
    QList<int> seqs;
    seqs.reserve(records.size());
    for (Planned& planned : records)
        seqs.append(addIntent(std::move(planned.record), &planned.line));
    if (!seqs.isEmpty()) {
        writePending();
        checkFirstRecord();
    }
    return seqs;
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
    write(RecordJournal::doneLine(m_run.id, seq, at, settles ? destination : std::nullopt), false);
}

void RecordRun::failed(int seq) {
    if (seq < 0 || seq >= m_run.items.size())
        return;
    m_run.items[seq].state = JournalRun::State::failed;
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
    m_sinceRefused.invalidate(); // the run's end tries the journal once more
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
