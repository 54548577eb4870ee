#include "actions/RecordMerge.h"

#include "actions/TraceFileWriter.h"
#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/PathText.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordRun.h"
#include "stores/StatsManager.h"

#include <QSet>

namespace tarnwick {

namespace {

std::function<void(RecordMerge::Step)>& stepHook() {
    static std::function<void(RecordMerge::Step)> hook;
    return hook;
}

void reached(RecordMerge::Step step) {
    if (stepHook())
        stepHook()(step);
}

struct TraceFolder {
    QString directory;
    QList<TraceFileWriter::DeletedFileInfo> files;
    JournalRun::TraceFile file;
};

void append(RecordJournal* journal, const QByteArray& lines, bool sync) {
    if (!journal)
        return;
    journal->append(lines);
    if (sync)
        journal->sync();
}

// One close under way: the journal's lines for it, and the audit log in their place once the
// journal refused any.
struct Closing {
    const JournalRun& run;
    const RecordStores& stores;
    RecordJournal* journal = nullptr;
    bool journaled = true;         // every line of the run so far is in the journal
    std::optional<bool> keptInLog; // the audit log written in place of the journal: done or failed

    void announce(const QByteArray& lines) {
        if (!journal)
            return;
        if (journal->append(lines))
            journal->sync();
        else
            journaled = false;
    }
    // Before anything else of the run is written: the entries in the log tell the next start that
    // the run was recorded, so it neither counts it again nor loses it.
    void keepInLogIfBehind() {
        if (journaled || keptInLog || !journal || !stores.audit)
            return;
        keptInLog = stores.audit->writeThrough();
    }
};

QList<TraceFolder> traceFolders(const JournalRun& run) {
    QList<TraceFolder> folders;
    QHash<QString, qsizetype> byDirectory;
    const QString action = RecordMerge::traceAction(run.kind);
    for (const JournalRun::Item& item : run.items) {
        const FileRecord& r = item.record;
        if (item.state != JournalRun::State::done || !r.traced || !r.entry)
            continue;
        const QString directory = path::deletingLastPathComponent(r.target);
        qsizetype at = byDirectory.value(directory, -1);
        if (at < 0) {
            at = folders.size();
            byDirectory.insert(directory, at);
            folders.append({directory, {}, {}});
        }
        folders[at].files.append({r.entry->fileName, r.target, r.entry->fileSize, r.entry->projectNames,
                                  r.tracedAt.value_or(r.entry->timestamp), action});
    }
    return folders;
}

// Names go to the journal (synced) before the files are made: a kill then finds each file's name,
// and a file already there is completed, never written twice.
void writeTraceFiles(Closing& c, TraceFileWriter& writer) {
    const JournalRun& run = c.run;
    QList<TraceFolder> folders = traceFolders(run);
    if (folders.isEmpty())
        return;
    const QDateTime generated = writer.now();
    QByteArray lines;
    for (TraceFolder& folder : folders) {
        if (const auto known = run.traceFileFor(folder.directory)) {
            folder.file = *known;
        } else {
            folder.file = {TraceFileWriter::freeTraceFileName(folder.directory, generated), generated};
            lines += RecordJournal::traceFileLine(run.id, folder.directory, folder.file);
        }
    }
    if (!lines.isEmpty())
        c.announce(lines);
    c.keepInLogIfBehind();
    reached(RecordMerge::Step::traceFilesNamed);
    for (TraceFolder& folder : folders) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto result = writer.writeTraceFileNamed(folder.directory, folder.file.name, folder.files,
                                                           folder.file.generated);
            if (result != TraceFileWriter::NamedWrite::taken) {
                reached(RecordMerge::Step::traceFileWritten);
                break;
            }
            // Someone else's file took the name meanwhile: another one, announced first.
            folder.file.name = TraceFileWriter::freeTraceFileName(folder.directory, folder.file.generated);
            c.announce(RecordJournal::traceFileLine(run.id, folder.directory, folder.file));
        }
    }
}

AllTimeStats withRun(AllTimeStats stats, const JournalRun& run) {
    for (const JournalRun::Item& item : run.items) {
        if (item.state != JournalRun::State::done)
            continue;
        if (run.kind == RecordKind::move)
            stats.filesMoved += item.record.files;
        else if (run.kind == RecordKind::trash || run.kind == RecordKind::deletion)
            stats.filesDeleted += item.record.files;
        stats.spaceSavedBytes += item.record.bytes;
    }
    return stats;
}

bool anythingCounted(const JournalRun& run) {
    for (const JournalRun::Item& item : run.items) {
        if (item.state == JournalRun::State::done)
            return true;
    }
    return false;
}

void applyStatistics(Closing& c, StatsManager& stats) {
    const JournalRun& run = c.run;
    if (run.stats) {
        // Announced before a kill: applied unless the file still holds the totals from before.
        stats.update(
            [&](const AllTimeStats& now) { return now == run.stats->first ? run.stats->second : now; });
        return;
    }
    // Under the store's lock: another process's count between the reading and the writing would
    // be lost.
    stats.update([&](const AllTimeStats& before) {
        const AllTimeStats after = withRun(before, run);
        c.announce(RecordJournal::statsLine(run.id, before, after));
        c.keepInLogIfBehind();
        reached(RecordMerge::Step::statisticsAnnounced);
        return after;
    });
    reached(RecordMerge::Step::statisticsWritten);
}

qint64 countedFiles(const JournalRun& run) {
    qint64 files = 0;
    for (const JournalRun::Item& item : run.items) {
        if (item.state == JournalRun::State::done && item.record.entry)
            files += item.record.files;
    }
    return files;
}

void close(Closing& c) {
    const JournalRun& run = c.run;
    if (c.stores.audit)
        c.stores.audit->adopt(run.countedEntries());
    reached(RecordMerge::Step::entriesShown);
    c.keepInLogIfBehind();
    if (run.writesTraceFiles && c.stores.traces)
        writeTraceFiles(c, *c.stores.traces);
    if (c.stores.stats && anythingCounted(run))
        applyStatistics(c, *c.stores.stats);
    c.announce(RecordJournal::closedLine(run.id));
}

// The ids of the entries of a run's items, decided or not.
QSet<QUuid> entryIds(const JournalRun& run) {
    QSet<QUuid> ids;
    for (const JournalRun::Item& item : run.items) {
        if (item.record.entry)
            ids.insert(item.record.entry->id);
    }
    return ids;
}

// Each intent without its outcome, by the disk; the outcomes go to the journal.
qint64 decide(JournalRun& run, FileOperations& files, RecordJournal& journal) {
    QByteArray lines;
    qint64 decided = 0;
    for (JournalRun::Item& item : run.items) {
        if (item.state != JournalRun::State::pending)
            continue;
        const bool happened = RecordMerge::stepHappened(item.record, files);
        item.state = happened ? JournalRun::State::done : JournalRun::State::failed;
        lines += happened ? RecordJournal::doneLine(run.id, item.seq, std::nullopt)
                          : RecordJournal::failedLine(run.id, item.seq);
        ++decided;
    }
    append(&journal, lines, true);
    return decided;
}

} // namespace

void RecordMerge::setStepHookForTesting(std::function<void(Step)> hook) {
    stepHook() = std::move(hook);
}

QString RecordMerge::traceAction(RecordKind kind) {
    switch (kind) {
    case RecordKind::trash:
        return QStringLiteral("Moved to Trash");
    case RecordKind::deletion:
        return QStringLiteral("Permanently Deleted");
    case RecordKind::move:
        return QStringLiteral("Moved to Folder");
    case RecordKind::transcode:
        break;
    }
    return {};
}

QString RecordOutcome::text() const {
    if (unrecorded <= 0)
        return {};
    return QString::number(unrecorded) + QStringLiteral(" files were removed but could not be recorded: ") +
           reason;
}

RecordOutcome RecordMerge::closeRun(RecordRun& run, const RecordStores& stores) {
    run.sync();
    Closing c{run.contents(), stores, run.journal(), run.journaled(), std::nullopt};
    close(c);
    RecordOutcome outcome;
    if (c.keptInLog == false) {
        outcome.unrecorded = countedFiles(run.contents());
        outcome.reason = run.journalError();
        if (outcome.reason.isEmpty())
            outcome.reason = QStringLiteral("the audit log could not be written");
        AppLog::error(outcome.text());
    }
    return outcome;
}

void RecordMerge::closeRun(const JournalRun& run, const RecordStores& stores, RecordJournal* journal) {
    Closing c{run, stores, journal, true, std::nullopt};
    close(c);
}

namespace {

// A folder that is not there either (an unmounted volume) says nothing.
bool folderOfIsThere(const QString& path, FileOperations& files) {
    const QString folder = path::deletingLastPathComponent(path);
    return folder.isEmpty() || files.status(folder, true).kind == FileKind::directory;
}

} // namespace

bool RecordMerge::stepHappened(const FileRecord& record, FileOperations& files) {
    if (record.target.isEmpty())
        return true;
    const FileOpInfo now = files.status(record.target, false);
    if (record.member) {
        // A file inside a folder removed item by item: the folder may be half gone.
        if (files.status(*record.member, false).kind != FileKind::missing)
            return false;
        if (now.kind == FileKind::missing && !folderOfIsThere(record.target, files))
            return false;
    } else if (now.kind == FileKind::missing) {
        if (!folderOfIsThere(record.target, files))
            return false;
    } else if (!record.identity ||
               (now.device == record.identity->device && now.inode == record.identity->inode)) {
        return false;
    }
    return !record.destination || files.status(*record.destination, false).kind != FileKind::missing;
}

int RecordMerge::mergeAtStart(const RecordStores& stores, FileOperations& files) {
    if (!stores.audit)
        return 0;
    return closeRunsAtStart(openRunsAtStart(*stores.audit, files), stores);
}

RecordMerge::StartRuns RecordMerge::openRunsAtStart(AuditLogManager& audit, FileOperations& files) {
    RecordJournal& journal = audit.journal();
    JournalContents contents = journal.read();
    StartRuns start;
    for (JournalRun& run : contents.runs) {
        if (run.closed)
            continue;
        // Still being written by another window: its own end merges it.
        if (run.writer && leftover::isRunning(*run.writer) && !(*run.writer == leftover::currentWriter())) {
            ++start.elsewhere;
            continue;
        }
        // Its lines were refused at the time and the log took its entries instead (the log file is
        // read afresh: any thread).
        const QSet<QUuid> ids = entryIds(run);
        if (!ids.isEmpty() && !audit.idsInLog(ids).isEmpty()) {
            append(&journal, RecordJournal::closedLine(run.id), true);
            ++start.closed;
            continue;
        }
        start.decided += decide(run, files, journal);
        start.runs.append(std::move(run));
    }
    return start;
}

int RecordMerge::closeRunsAtStart(StartRuns start, const RecordStores& stores) {
    if (!stores.audit)
        return 0;
    RecordJournal& journal = stores.audit->journal();
    int closed = start.closed;
    for (const JournalRun& run : std::as_const(start.runs)) {
        closeRun(run, stores, &journal);
        ++closed;
    }
    if (closed > 0)
        AppLog::info(QStringLiteral("Records: completed %1 interrupted run(s), %2 file(s) decided on disk")
                         .arg(closed)
                         .arg(start.decided));
    // Emptying the journal would take another window's open run with it.
    if (start.elsewhere == 0)
        stores.audit->compactIfDue();
    return closed;
}

} // namespace tarnwick
