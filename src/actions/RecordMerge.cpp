#include "actions/RecordMerge.h"

#include "actions/RecordRecovery.h"
#include "actions/TraceFileWriter.h"
#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/MemoryRelease.h"
#include "platform/PathText.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordReserve.h"
#include "stores/RecordRun.h"
#include "stores/StatsManager.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>

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

bool anythingCounted(const JournalRun& run) {
    for (const JournalRun::Item& item : run.items) {
        if (item.state == JournalRun::State::done)
            return true;
    }
    return false;
}

// One close under way: the journal's lines for it, and the audit log in their place once the
// journal refused any.
struct Closing {
    const JournalRun& run;
    const RecordStores& stores;
    RecordJournal* journal = nullptr;
    bool journaled = true;           // every line of the run so far is in the journal
    std::optional<bool> keptInLog{}; // the audit log written in place of the journal: done or failed
    bool shown = false;              // the run's entries are among the log's (adopted)
    QString failure{};               // what could not be written, when the close stopped
    std::optional<AuditLogManager::Shown> prepared{}; // the counted entries, made ready on the worker
    bool quiet = false;    // the start's merge: one log line for the run, not one per entry
    qsizetype waiting = 0; // traced files whose trace file a full disk refused

    void announce(const QByteArray& lines) {
        if (!journal)
            return;
        if (journal->append(lines, true))
            journal->sync();
        else
            journaled = false;
    }
    // Whether what the run wrote so far is kept: in the journal, or else in the audit log written
    // in its place (once). Before anything else of the run is written: the entries in the log tell
    // the next start that the run was recorded, so it neither counts it again nor loses it.
    bool kept() {
        if (journaled || !journal || !stores.audit)
            return true;
        if (!keptInLog && !shown && !anythingCounted(run))
            keptInLog = true; // no entry of its own to keep
        if (!keptInLog)
            keptInLog =
                shown ? stores.audit->writeThrough() : stores.audit->writeThrough(run.countedEntries());
        if (!*keptInLog)
            failure = QStringLiteral("the audit log could not be written");
        return *keptInLog;
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
// and a file already there is completed, never written twice. False when the names could be kept
// nowhere: the close stops there.
bool writeTraceFiles(Closing& c, TraceFileWriter& writer) {
    const JournalRun& run = c.run;
    QList<TraceFolder> folders = traceFolders(run);
    if (folders.isEmpty())
        return true;
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
    if (!c.kept())
        return false;
    reached(RecordMerge::Step::traceFilesNamed);
    for (TraceFolder& folder : folders) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto result = writer.writeTraceFileNamed(folder.directory, folder.file.name, folder.files,
                                                           folder.file.generated);
            // A full disk: the lines wait in the journal, under the name given, for a later start.
            if (result == TraceFileWriter::NamedWrite::noSpace)
                c.waiting += folder.files.size();
            if (result != TraceFileWriter::NamedWrite::taken) {
                reached(RecordMerge::Step::traceFileWritten);
                break;
            }
            // Someone else's file took the name meanwhile: another one, announced first.
            folder.file.name = TraceFileWriter::freeTraceFileName(folder.directory, folder.file.generated);
            c.announce(RecordJournal::traceFileLine(run.id, folder.directory, folder.file));
        }
    }
    return true;
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

// False when the totals were not written: the run then stays open, and the next start applies
// what it announced (or counts it, when nothing was announced).
bool applyStatistics(Closing& c, StatsManager& stats) {
    const JournalRun& run = c.run;
    if (run.stats) {
        // Announced before a kill: applied unless the file still holds the totals from before.
        return stats.update(
            [&](const AllTimeStats& now) { return now == run.stats->first ? run.stats->second : now; });
    }
    // Under the store's lock: another process's count between the reading and the writing would
    // be lost.
    bool kept = true;
    const bool written = stats.update([&](const AllTimeStats& before) {
        const AllTimeStats after = withRun(before, run);
        c.announce(RecordJournal::statsLine(run.id, before, after));
        kept = c.kept();
        if (!kept)
            return before; // counted by the next start, with its entries
        reached(RecordMerge::Step::statisticsAnnounced);
        return after;
    });
    if (!kept)
        return false;
    reached(RecordMerge::Step::statisticsWritten);
    if (!written)
        c.failure = QStringLiteral("the statistics could not be written");
    return written;
}

qint64 countedFiles(const JournalRun& run) {
    qint64 files = 0;
    for (const JournalRun::Item& item : run.items) {
        if (item.state == JournalRun::State::done && item.record.entry)
            files += item.record.files;
    }
    return files;
}

// How many entries countedEntries() would give, without making them.
qsizetype countedCount(const JournalRun& run) {
    return std::count_if(run.items.cbegin(), run.items.cend(), [](const JournalRun::Item& item) {
        return item.state == JournalRun::State::done && item.record.entry;
    });
}

// False when the run's records could not all be kept: it then stays open (no closing line) for
// the next start, which decides it by the disk and counts it once.
bool close(Closing& c) {
    const JournalRun& run = c.run;
    // Lines that no journal took: the log takes the run's entries first, or nothing goes further.
    if (!c.kept())
        return false;
    // Its totals announced by an earlier process: its entries are read with the journal's.
    const bool readWithJournal = c.quiet && run.stats;
    if (c.stores.audit && !c.keptInLog) {
        if (c.prepared && c.prepared->entries.size() == countedCount(run))
            c.stores.audit->adopt(std::move(*std::exchange(c.prepared, std::nullopt)));
        else if (!readWithJournal)
            c.stores.audit->adopt(run.countedEntries(), !c.quiet);
        c.shown = true;
    }
    reached(RecordMerge::Step::entriesShown);
    if (run.writesTraceFiles && c.stores.traces && !writeTraceFiles(c, *c.stores.traces))
        return false;
    if (c.stores.stats && anythingCounted(run) && !applyStatistics(c, *c.stores.stats))
        return false;
    // Left open for its trace lines: the next start writes them (the rest it finds applied).
    if (c.waiting > 0) {
        AppLog::warning(QStringLiteral("Records: the trace lines of %1 file(s) wait in the records journal "
                                       "until their trace file can be written (the disk is full)")
                            .arg(c.waiting));
        return true;
    }
    c.announce(RecordJournal::closedLine(run.id));
    return true;
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
    QStringList parts;
    if (!stopReason.isEmpty()) {
        const QString why = stepsStopped ? stopReason
                                         : QStringLiteral("its records could not be kept (") + stopReason +
                                               QStringLiteral(")");
        parts.append(QStringLiteral("The run stopped because ") + why +
                     (kept > 0 ? QStringLiteral(": ") + QString::number(kept) +
                                     QStringLiteral(" file(s) were left untouched.")
                               : QStringLiteral(".")));
    }
    if (unrecorded > 0) {
        parts.append(QString::number(unrecorded) +
                     QStringLiteral(" removed file(s) could not be recorded yet (") + reason +
                     QStringLiteral("); the next start records them."));
    }
    return parts.join(QLatin1Char(' '));
}

void RecordOutcome::applyTo(ActionResult& result) const {
    if (!notStarted) {
        result.unrecorded = text();
        return;
    }
    // Stopped before its first file: one reason, no file's line (they stay in the bin).
    result.refused = true;
    result.errors = {QStringLiteral("The run did not start because its records could not be kept (") +
                     stopReason + QStringLiteral(").")};
    result.unrecorded.clear();
}

RecordOutcome RecordMerge::closeRun(RecordRun& run, const RecordStores& stores,
                                    std::optional<AuditLogManager::Shown> shown) {
    run.sync();
    RecordOutcome outcome;
    outcome.stopReason = run.stopReason();
    outcome.kept = run.keptForStopCount();
    outcome.notStarted = run.stoppedBeforeSteps();
    outcome.stepsStopped = run.stoppedBySteps();
    // Not a line of it in the journal (refused before its first): nothing to close, and the
    // records' reserve stays whole.
    if (run.journal() && !run.began())
        return outcome;
    Closing c{.run = run.contents(),
              .stores = stores,
              .journal = run.journal(),
              .journaled = run.journaled(),
              .prepared = std::move(shown)};
    const bool closed = close(c);
    // Not adopted (the run stays open): tens of thousands of entries, freed off the GUI thread.
    if (c.prepared)
        memory::releaseLater(std::move(*c.prepared));
    if (!closed) {
        outcome.unrecorded = countedFiles(run.contents());
        // The journal's refusal says most (a full disk); else what else failed.
        outcome.reason = run.journalError();
        if (outcome.reason.isEmpty())
            outcome.reason = c.failure;
        if (outcome.unrecorded > 0)
            AppLog::error(QString::number(outcome.unrecorded) +
                          QStringLiteral(" removed file(s) could not be recorded yet (") + outcome.reason +
                          QStringLiteral("); the next start records them"));
    }
    // Room again (a run that freed space, or space freed meanwhile): the reserve for the next one.
    if (run.journal())
        RecordReserve::ensure(run.storeFolder());
    return outcome;
}

std::optional<AuditLogManager::Shown> RecordMerge::prepareShown(const RecordRun& run,
                                                                AuditLogManager* audit) {
    if (!audit)
        return std::nullopt;
    return audit->prepareShown(run.contents().countedEntries());
}

bool RecordMerge::closeRun(const JournalRun& run, const RecordStores& stores, RecordJournal* journal) {
    Closing c{.run = run, .stores = stores, .journal = journal, .quiet = true};
    return close(c) && c.waiting == 0;
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
        const RecordRecovery::Decided decided = RecordRecovery::decide(run, files);
        append(&journal, decided.lines, true);
        start.decided += decided.count;
        start.runs.append(std::move(run));
    }
    return start;
}

int RecordMerge::closeRunsAtStart(StartRuns start, const RecordStores& stores) {
    if (!stores.audit)
        return 0;
    const int closed = closeStartRuns(start, stores);
    // Emptying the journal would take another window's open run with it, or a run's waiting traces.
    if (start.mayCompact())
        stores.audit->compactIfDue();
    ensureReserve(stores);
    return closed;
}

namespace {

QString kindText(RecordKind kind) {
    switch (kind) {
    case RecordKind::trash:
        return QStringLiteral("Trash");
    case RecordKind::deletion:
        return QStringLiteral("deletion");
    case RecordKind::move:
        return QStringLiteral("move");
    case RecordKind::transcode:
        return QStringLiteral("transcode");
    }
    return {};
}

// One line a run, in place of a line per entry.
void logClosed(const JournalRun& run) {
    qsizetype recorded = 0;
    qsizetype failed = 0;
    for (const JournalRun::Item& item : run.items) {
        if (item.state == JournalRun::State::done && item.record.entry)
            ++recorded;
        else if (item.state == JournalRun::State::failed)
            ++failed;
    }
    AppLog::info(QStringLiteral("Records: interrupted %1 run %2: %3 file(s) recorded, %4 not done")
                     .arg(kindText(run.kind), run.id)
                     .arg(recorded)
                     .arg(failed));
}

} // namespace

int RecordMerge::closeStartRuns(StartRuns& start, const RecordStores& stores) {
    if (!stores.audit)
        return 0;
    RecordJournal& journal = stores.audit->journal();
    int closed = start.closed;
    for (const JournalRun& run : start.runs) {
        if (!closeRun(run, stores, &journal))
            ++start.waiting;
        logClosed(run);
        ++closed;
    }
    if (closed > 0)
        AppLog::info(QStringLiteral("Records: completed %1 interrupted run(s), %2 file(s) decided on disk")
                         .arg(closed)
                         .arg(start.decided));
    return closed;
}

void RecordMerge::ensureReserve(const RecordStores& stores) {
    if (stores.audit)
        RecordReserve::ensure(QFileInfo(stores.audit->journal().path()).absolutePath());
}

} // namespace tarnwick
