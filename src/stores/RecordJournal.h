#pragma once

#include "platform/FileOperations.h"
#include "platform/LeftoverMark.h"
#include "stores/AllTimeStats.h"
#include "stores/AuditLogEntry.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace tarnwick {

// What a run did to its files: decides the statistics counter and the trace files' wording.
enum class RecordKind { trash, deletion, move, transcode };

// The record one file leaves: its audit entry, what it adds to the statistics, whether it goes into
// the run's trace files, and what tells, after a kill, whether its disk step happened.
struct FileRecord {
    std::optional<AuditLogEntry> entry;   // none: counts in the statistics only
    QString target;                       // the path the disk step acts on (and the trace file lists)
    std::optional<QString> destination;   // must exist afterwards for the step to count
    std::optional<FileIdentity> identity; // the target before the step: its size and time, or its inode
    qint64 files = 0;                     // added to the run's file counter
    qint64 bytes = 0;                     // added to spaceSavedBytes
    bool traced = false;                  // listed in the run's trace files
    std::optional<QDateTime> tracedAt;    // the trace time, when not the entry's
    std::optional<QString> member;        // a file inside a folder target: decided by its own absence
};

// One run as the journal holds it.
struct JournalRun {
    enum class State { pending, done, failed };
    struct Item {
        int seq = 0;
        FileRecord record;
        State state = State::pending;
    };
    struct TraceFile {
        QString name;
        QDateTime generated;
    };

    QString id;
    RecordKind kind = RecordKind::trash;
    bool writesTraceFiles = false;
    std::optional<leftover::Writer> writer; // the process that writes it; none in older journals
    QList<Item> items;
    QList<std::pair<QString, TraceFile>> traceFiles;            // folder → the file the run writes there
    std::optional<std::pair<AllTimeStats, AllTimeStats>> stats; // the totals before and after
    bool closed = false;

    std::optional<TraceFile> traceFileFor(const QString& folder) const;
    QList<AuditLogEntry> countedEntries() const;
};

struct JournalContents {
    QList<JournalRun> runs; // in the order they began
    // Every entry that belongs to the log: those on their own and those of runs closed or counted in
    // the statistics (left open for their trace lines), in the order they joined it.
    QList<AuditLogEntry> entries;
    qsizetype damagedLines = 0;
};

// The append-only journal beside the audit log ("audit_log.journal"): one JSON object per line.
// A clean-up run writes a line per file as it goes, so that a killed run still leaves the record
// of every file it touched; the run's end (or the next start) merges the lines into the audit log,
// the statistics and the trace files. A torn last line is ignored. Thread-safe.
// A journal file that refuses lines for a reason of its own (the user cannot write it, an
// immutable file, a folder in its place) is followed by another one beside it
// ("audit_log.journal.1", ".2", ...): appends go to the last of them, reading takes them all in
// that order, and clear() removes them. On a full disk the records' reserve (RecordReserve) in
// the folder becomes the next of them, its room ahead of its end taken by the lines.
class RecordJournal {
public:
    explicit RecordJournal(QString path);
    ~RecordJournal();
    RecordJournal(const RecordJournal&) = delete;
    RecordJournal& operator=(const RecordJournal&) = delete;

    const QString& path() const { return m_path; }

    // Whole lines, each ending in "\n", with one plain write: enough against a killed process.
    // All or nothing: a write cut short (a full disk) is taken back, so the journal never holds a
    // piece of a line that a later append would run into.
    // `end`: the lines that close a run, which may take the reserve's end part as well.
    // A journal file with room ahead of its end (the records' reserve, handed over on a full disk)
    // keeps the reserve's end part for the lines with `end`.
    bool append(const QByteArray& lines, bool end = false);
    // Why the last append failed ("No space left on device"); empty after a success.
    QString lastError() const;
    // Against power loss as well.
    bool sync();
    // The same on the journal's own thread: the disk work goes on meanwhile (a sync can wait for the
    // file system to commit everything the run removed so far). Lines appended before the call are
    // durable once awaitSync() of the ticket answers true (false: a sync failed).
    quint64 syncLater();
    bool awaitSync(quint64 ticket);
    JournalContents read() const;
    qint64 size() const;
    // Empties the journal once its entries are in the log; refused while a run is open.
    bool clear();

    // Runs being written in this process.
    void runOpened() { ++m_openRuns; }
    // The last run closed: the journal's files are closed too, until the next line.
    void runClosed();
    int openRuns() const { return m_openRuns.load(); }

    // Tests fail appends: the hook returns the errno to fail with, or 0 to write. The first form
    // fails every file of the journal alike (a full disk), the second is told which file.
    void setWriteFaultForTesting(std::function<int()> fault);
    void setFileWriteFaultForTesting(std::function<int(const QString& file)> fault);

    // Tests see each sync that succeeded: the file and how many of its bytes it made durable.
    void setSyncHookForTesting(std::function<void(const QString& file, qint64 bytes)> hook);

    // The journal's files in the order they are read: the first one, then those that followed it.
    QStringList files() const { return filesOf(m_path); }
    static QStringList filesOf(const QString& path);
    // The journal of the store folder `folder`.
    static QString pathIn(const QString& folder);

    // Benchmarks compare with a run that keeps its lines until it ends (one write, one sync).
    void setDeferredForTesting(bool deferred) { m_deferred = deferred; }
    bool deferred() const { return m_deferred; }

    // A record's line made ahead of its disk step (on the thread that plans it), but for the two
    // fields only that step knows: the target's identity and the record's number in its run.
    struct PreparedLine {
        QByteArray head;   // up to the file count
        QByteArray middle; // the kind and the member
        QByteArray tail;   // after the number, to the line's end
    };

    static QByteArray runLine(const QString& run, RecordKind kind, bool traceFiles);
    // `intent`: before the disk step, decided later; otherwise the file counts at once.
    static QByteArray recordLine(const QString& run, int seq, const FileRecord& record, bool intent);
    // The same line in two steps: the record's identity is left out of the prepared part.
    static PreparedLine prepareLine(const QString& run, const FileRecord& record, bool intent);
    static QByteArray recordLine(const PreparedLine& line, const std::optional<FileIdentity>& identity,
                                 int seq);
    static QByteArray doneLine(const QString& run, int seq, const std::optional<QDateTime>& at,
                               const std::optional<QString>& destination = {});
    static QByteArray failedLine(const QString& run, int seq);
    static QByteArray traceFileLine(const QString& run, const QString& folder,
                                    const JournalRun::TraceFile& file);
    static QByteArray statsLine(const QString& run, const AllTimeStats& before, const AllTimeStats& after);
    static QByteArray closedLine(const QString& run);
    static QByteArray entryLine(const AuditLogEntry& entry);

    // About the bytes one file's record takes in the journal, its intent and its outcome, from the
    // texts it carries: what a run makes room for before its first step.
    static qint64 estimatedRecordBytes(const QString& filePath, const QString& target,
                                       const QStringList& projectNames,
                                       const std::optional<QString>& destination = {});
    // The lines that close a run (statistics, trace file names, the closing line), with room to spare.
    static constexpr qint64 runEndBytes = 64 * 1024;

    // Tests and the crash harness read the lines as they are.
    static QList<QByteArray> lines(const QByteArray& bytes);

private:
    bool openForAppend();
    int tryAppend(const QByteArray& lines, bool end);
    int writeAll(const QByteArray& lines);
    int keepEndPart(qint64 bytes);
    qint64 blocksNeeded(qint64 bytes) const;
    bool takeReserve();
    bool followOn(int error);
    bool takeNextFile(const std::function<int(const QString& next)>& open);
    void failed(const char* what, int error);

    void syncLoop();
    void closeIdle();

    QString m_path;
    mutable QMutex m_mutex;
    int m_fd = -1;
    QList<int> m_retired;      // descriptors replaced while a sync may hold them
    int m_syncing = 0;         // syncs holding a descriptor now
    QString m_current;         // the file m_fd appends to
    bool m_followedOn = false; // a file of its own took over once already
    std::thread m_syncer;
    std::mutex m_syncMutex;
    std::condition_variable m_syncWanted;
    std::condition_variable m_syncEnded;
    bool m_syncPending = false;
    quint64 m_syncRequested = 0; // tickets handed out
    quint64 m_syncDone = 0;      // every ticket up to this one is synced
    bool m_syncFailed = false;
    bool m_stopping = false;
    bool m_failureLogged = false;
    QString m_lastError;
    std::function<int(const QString&)> m_fault;
    std::function<void(const QString&, qint64)> m_syncHook;
    std::atomic<int> m_openRuns{0};
    bool m_deferred = false;
};

} // namespace tarnwick
