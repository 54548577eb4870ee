#pragma once

#include "model/MediaFile.h"
#include "stores/AuditLogEntry.h"
#include "stores/AuditLogIndex.h"
#include "stores/AuditLogTail.h"
#include "stores/RecordJournal.h"
#include "stores/StoreFile.h"

#include <QList>
#include <QSet>
#include <QStringList>

#include <memory>
#include <optional>

namespace tarnwick {

class ReviewHook;

// The audit trail of destructive clean-up actions and restores, oldest first: "audit_log.json"
// plus the records journal beside it ("audit_log.journal"). New entries go to the journal, a line
// each, and never rewrite the log; the journal is folded into the log at most once per program run
// (compactIfDue(), at start). Both files are read on first use of the entries, the log through an
// index (a million entries: well under a second, the file's bytes plus 16 bytes each); an entry is
// decoded when asked for. Entries not in the log file are kept on disk too (AuditLogTail), not in
// memory. Main thread only, but for readFiles() and write(Prepared&).
class AuditLogManager {
public:
    struct Request {
        AuditAction action = AuditAction::movedToTrash;
        MediaFile file;
        std::optional<QString> destination;
    };

    // What readFiles() found, for install().
    struct Loaded {
        std::optional<AuditLogIndex> log; // absent: no file, or a damaged one
        bool damaged = false;
        QList<AuditLogEntry> journalEntries; // those not already in the log
    };

    // On the store folder; reports to a CountingReviewHook until setReviewHook().
    static AuditLogManager& shared();

    // On "audit_log.json" in `folder` (created when missing). `hook` may be null.
    AuditLogManager(const QString& folder, std::shared_ptr<ReviewHook> hook);
    AuditLogManager(const AuditLogManager&) = delete;
    AuditLogManager& operator=(const AuditLogManager&) = delete;

    void setReviewHook(std::shared_ptr<ReviewHook> hook);

    // The entries; the first call of any of these reads the files.
    qsizetype count() const;
    AuditLogEntry entry(qsizetype index) const;
    qint64 timestampMs(qsizetype index) const;
    // Every entry decoded (kept until the next change): for small logs and tests.
    const QList<AuditLogEntry>& entries() const;

    // One entry for one file, stored, then reported to the review hook.
    void log(AuditAction action, const MediaFile& file, const std::optional<QString>& destination = {});
    // All entries of one operation with a single journal write and sync; each is reported afterwards.
    void log(const QList<Request>& requests);
    void append(const AuditLogEntry& entry);
    void append(const QList<AuditLogEntry>& entries);
    // Entries made, encoded and their log lines worded ahead, on any thread, for log(Prepared)
    // here: a bulk action prepares its thousands of entries on a worker and records them in one step.
    struct Prepared {
        QList<AuditLogEntry> entries;
        QByteArray lines;    // the journal's, in the entries' order
        QStringList notices; // the program log's, one per entry
        bool written = false;
    };
    static Prepared prepare(const QList<Request>& requests);
    void log(Prepared prepared);
    // log() in two steps, so that a bulk action writes on its worker: write() on any thread (the
    // journal's write and sync, the program log's lines, the entries shown), then recorded() here
    // (reported; a large batch is freed on the release thread).
    void write(Prepared& prepared);
    void recorded(Prepared prepared);
    // Entries a run already wrote to the journal: shown, logged (unless `logEach` is false: the
    // caller logs them as one) and reported, not written again.
    void adopt(const QList<AuditLogEntry>& entries, bool logEach = true);
    // adopt() in two steps for a run's thousands of entries: made ready on any thread once the run
    // is over (their program-log lines, and their place in the tail's file), then adopted here.
    struct Shown {
        QList<AuditLogEntry> entries;
        QStringList notices;
        AuditLogTail::Spill spill;
    };
    Shown prepareShown(QList<AuditLogEntry> entries);
    void adopt(Shown shown);

    RecordJournal& journal() { return m_journal; }
    // Folds the journal into the log when it has grown enough for the rewrite to pay (a small log
    // always), at most once per program run.
    bool compactIfDue();
    // Rewrites the log with the journal's entries folded in, then empties the journal.
    bool compact();
    // compactIfDue() with the files' reading, the encoding and the log's write on another thread,
    // while nothing else records (the start's merge holds the window's gate): beginCompaction()
    // here, Compaction::run() on any thread, endCompaction() here, which empties the journal once
    // the log was replaced. Nothing to begin when it is not due, or when the entries are read
    // already: compactIfDue() then. A damaged log is left to compactIfDue() in endCompaction().
    struct Compaction {
        QString logPath;
        QString journalPath;
        const AuditLogTail* tail = nullptr; // this run's entries shown, read under its lock
        qint64 journalBytes = 0;
        qsizetype tailSize = 0;
        std::optional<bool> written; // absent: not tried (a damaged log)
        void run();
    };
    std::optional<Compaction> beginCompaction();
    bool endCompaction(const Compaction& compaction);
    // In place of the journal when it refused a run's lines: the log is rewritten with every entry
    // shown so far; the journal stays as it is. False when the log could not be written either.
    bool writeThrough();
    // The same with a run's entries that are not shown yet: written with the others, then logged
    // and reported as adopt() does. Nothing is shown or reported when the log could not be written.
    bool writeThrough(const QList<AuditLogEntry>& entries);
    // Which of `ids` the log file holds (read afresh).
    QSet<QUuid> idsInLog(const QSet<QUuid>& ids) const;

    // Reading off the main thread: readFiles() on any thread, then install() on this one. Entries
    // logged meanwhile are kept.
    static Loaded readFiles(const QString& logPath, const QString& journalPath);
    void install(Loaded loaded) const;
    bool isLoaded() const { return m_loaded; }

    const QString& fileName() const { return m_file.path(); }
    const QString& journalFileName() const { return m_journal.path(); }
    // The log existed but could not be decoded (it is kept beside, see StoreFile). Reads the files.
    bool fileWasDamaged() const;
    // Entries held decoded in memory once the tail's spill is done (tests).
    qsizetype heldInMemoryForTesting() {
        m_tail.waitUntilSpilled();
        return m_tail.heldInMemory();
    }

private:
    void ensureLoaded() const;
    void show(const QList<AuditLogEntry>& entries);
    static QString notice(const AuditLogEntry& entry);
    void report(const QList<AuditLogEntry>& entries);
    void addToTail(const QList<AuditLogEntry>& entries, const AuditLogTail::Spill& spilled = {}) const;
    bool writeLog(const QList<AuditLogEntry>& extra = {});
    bool compactionDue() const;
    // The log as read (`index`) with `tail`, a JSON array of the entries not in it, after them.
    static bool writeFolded(StoreFile& file, const std::optional<AuditLogIndex>& index, bool damaged,
                            QByteArray tail);
    void forget();
    qsizetype logCount() const { return m_index ? m_index->size() : 0; }

    mutable StoreFile m_file;
    RecordJournal m_journal;
    std::shared_ptr<ReviewHook> m_hook;
    bool m_compactedThisRun = false;

    // Read on first use.
    mutable bool m_loaded = false;
    mutable std::optional<AuditLogIndex> m_index;
    mutable bool m_logDamaged = false; // as read: the next write keeps it aside
    // Not in the log file: the journal's, then this run's (before the files are read: this run's).
    mutable AuditLogTail m_tail;
    mutable std::optional<QList<AuditLogEntry>> m_decoded; // entries(), until the next change
};

} // namespace tarnwick
