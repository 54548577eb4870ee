#pragma once

#include "stores/RecordJournal.h"

#include <QElapsedTimer>

namespace tarnwick {

// The records of one clean-up run as it goes, written to the journal file by file from the thread
// that does the disk work: intend() right before a file's disk step, done() or failed() right
// after it; record() for a file that counts without a disk step of its own. A kill at any moment
// leaves, for every file, either a decided line or an intent that the next start decides by
// looking at the disk. The intents of a step, or of a batch of steps, are synced (one fdatasync)
// before intend() or intendAll() returns, so no step can outlive its line in a power cut; the
// outcomes go with the next batch's sync or with sync(), which the action calls before it reports.
// One thread at a time; the run is handed to the GUI thread to be closed (RecordMerge).
class RecordRun {
public:
    // The run's first line goes with its first record; a null journal keeps the records in memory
    // only.
    RecordRun(RecordJournal* journal, RecordKind kind, bool writesTraceFiles);
    ~RecordRun();
    RecordRun(const RecordRun&) = delete;
    RecordRun& operator=(const RecordRun&) = delete;

    // The number that done() and failed() take.
    int intend(FileRecord record);
    // A record whose line was prepared ahead with this run's id (RecordJournal::prepareLine).
    struct Planned {
        FileRecord record;
        RecordJournal::PreparedLine line;
    };
    // The intents of several steps in one write, before the first of them: a kill leaves those not
    // yet taken undecided, for the next start to decide by the disk like any other. Their numbers,
    // in order.
    // With `syncNow` false their sync goes on meanwhile, and awaitDurable() waits for it before the
    // first of their steps (the steps of an earlier batch go on in between).
    QList<int> intendAll(QList<Planned> records, bool syncNow = true);
    // Waits for the intents of the last intendAll(..., false); the run stops when they cannot be synced.
    void awaitDurable();
    // How many steps a run writes the intents of together: a kill leaves at most this many for the
    // next start to decide by the disk, and a write this size costs little more than one line.
    static constexpr qsizetype intentBatch = 256;
    // `at`: when the step ended, for a trace record timed after it. `destination`: where the file
    // went when that was only settled by the step (a numbered name); the entry takes it.
    void done(int seq, const std::optional<QDateTime>& at = {},
              const std::optional<QString>& destination = {});
    void failed(int seq);
    void record(FileRecord record);
    void sync();

    // Every line so far is in the journal. A line the journal refused (a full disk past the
    // reserve, a folder that takes no file) is kept and offered again with the next write; an
    // intent it refused stops the run (stopReason()), so no disk step goes ahead unrecorded and at
    // most one batch of outcomes lives only in memory. A kill then leaves every step's intent for
    // the next start to decide by the disk.
    bool journaled() const { return !m_journal || m_pending.isEmpty(); }
    // Why the journal refused them.
    QString journalError() const { return m_journal ? m_journal->lastError() : QString(); }
    // Before the first disk step: room on the journal's disk for `bytes` of the run's lines and its
    // end, counting the records' reserve and `freedOnTheWay`, the bytes the run's own removals
    // give back there; `besideRecords`, what the run's own other writes take there (the Trash's
    // infos), which the reserve does not give. Without it the run stops before it begins.
    void checkRoom(qint64 bytes, qint64 freedOnTheWay = 0, qint64 besideRecords = 0);
    // Set once the run's records stop being kept: the run must remove no more files. In the
    // user's words, for the result sheet.
    const QString& stopReason() const { return m_stopReason; }
    // The run stops the same way for a reason of its disk steps' own (the Trash's disk is full):
    // no file after this one is touched. `reason` in the user's words; the caller logs it.
    void stopSteps(const QString& reason);
    // The stop came from the disk steps, not from the records.
    bool stoppedBySteps() const { return m_stoppedBySteps; }
    // The run stopped before its first step (refused for room, its first intents kept nowhere):
    // no file was touched, and the result sheet shows it as not started.
    bool stoppedBeforeSteps() const { return !m_stopReason.isEmpty() && m_stoppedBeforeSteps; }
    // Some line of the run is in the journal: its end closes it there.
    bool began() const { return m_began; }
    // A file kept because the run stopped; counted for the result sheet.
    void keptForStop() { ++m_keptForStop; }
    qint64 keptForStopCount() const { return m_keptForStop; }
    // The folder the records go to (empty without a journal).
    QString storeFolder() const;

    const JournalRun& contents() const { return m_run; }
    // Set once, when the run begins: other threads may read it while the run is written.
    const QString& id() const { return m_run.id; }
    RecordJournal* journal() const { return m_journal; }
    // The counted files and bytes so far.
    qint64 countedFiles() const;

    // Lines since the last sync that start a sync, and the longest time between two.
    static constexpr int syncEveryLines = 2000;
    static constexpr qint64 syncEveryMs = 1000;
    // From this many records, the run's own copy is freed off the caller's thread.
    static constexpr qsizetype releaseLaterFrom = 1000;

private:
    void write(const QByteArray& line, bool now);
    void writePending();
    bool flush();
    void makeDurable();
    // Lines written since the last sync, to a journal that still takes them.
    bool syncDue() const {
        return m_journal && !m_journal->deferred() && m_stopReason.isEmpty() && m_unsynced;
    }
    int addIntent(FileRecord record, const RecordJournal::PreparedLine* line = nullptr);
    void checkWritten(qsizetype before, int firstSeq);
    bool unwritten(int seq) const { return m_unwrittenFrom >= 0 && seq >= m_unwrittenFrom; }
    void stop(const QString& reason);

    RecordJournal* m_journal;
    JournalRun m_run;
    QByteArray m_pending; // decided lines waiting for the next write
    int m_linesSinceSync = 0;
    QElapsedTimer m_sinceSync;
    QString m_stopReason;
    qint64 m_keptForStop = 0;
    int m_unwrittenFrom = -1; // intents from here on never reached the journal (the run stopped)
    bool m_unsynced = false;  // lines written since the last sync
    bool m_began = false;     // the run's own line is in the journal
    bool m_stoppedBeforeSteps = false;
    bool m_stoppedBySteps = false;
    quint64 m_syncTicket = 0; // the sync of the intents written ahead, while it is awaited
};

} // namespace tarnwick
