#include "actions/RecordMerge.h"

#include "actions/TraceFileWriter.h"
#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/PathText.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordRun.h"
#include "stores/StatsManager.h"

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
void writeTraceFiles(const JournalRun& run, TraceFileWriter& writer, RecordJournal* journal) {
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
    append(journal, lines, true);
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
            append(journal, RecordJournal::traceFileLine(run.id, folder.directory, folder.file), true);
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

void applyStatistics(const JournalRun& run, StatsManager& stats, RecordJournal* journal) {
    if (run.stats) {
        // Announced before a kill: applied unless the file still holds the totals from before.
        if (stats.stats() == run.stats->first)
            stats.setStats(run.stats->second);
        return;
    }
    const AllTimeStats before = stats.stats();
    const AllTimeStats after = withRun(before, run);
    append(journal, RecordJournal::statsLine(run.id, before, after), true);
    reached(RecordMerge::Step::statisticsAnnounced);
    stats.setStats(after);
    reached(RecordMerge::Step::statisticsWritten);
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

void RecordMerge::closeRun(RecordRun& run, const RecordStores& stores) {
    run.sync();
    closeRun(run.contents(), stores, run.journal());
}

void RecordMerge::closeRun(const JournalRun& run, const RecordStores& stores, RecordJournal* journal) {
    if (stores.audit)
        stores.audit->adopt(run.countedEntries());
    reached(Step::entriesShown);
    if (run.writesTraceFiles && stores.traces)
        writeTraceFiles(run, *stores.traces, journal);
    if (stores.stats && anythingCounted(run))
        applyStatistics(run, *stores.stats, journal);
    append(journal, RecordJournal::closedLine(run.id), true);
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
    RecordJournal& journal = stores.audit->journal();
    JournalContents contents = journal.read();
    int closed = 0;
    qint64 decided = 0;
    for (JournalRun& run : contents.runs) {
        if (run.closed)
            continue;
        QByteArray lines;
        for (JournalRun::Item& item : run.items) {
            if (item.state != JournalRun::State::pending)
                continue;
            const bool happened = stepHappened(item.record, files);
            item.state = happened ? JournalRun::State::done : JournalRun::State::failed;
            lines += happened ? RecordJournal::doneLine(run.id, item.seq, std::nullopt)
                              : RecordJournal::failedLine(run.id, item.seq);
            ++decided;
        }
        append(&journal, lines, true);
        closeRun(run, stores, &journal);
        ++closed;
    }
    if (closed > 0)
        AppLog::info(QStringLiteral("Records: completed %1 interrupted run(s), %2 file(s) decided on disk")
                         .arg(closed)
                         .arg(decided));
    stores.audit->compactIfDue();
    return closed;
}

} // namespace tarnwick
