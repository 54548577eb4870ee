#pragma once

#include "actions/ActionResult.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordJournal.h"

#include <functional>

namespace tarnwick {

class AuditLogManager;
class FileOperations;
class RecordRun;
class StatsManager;
class TraceFileWriter;

// Where the records of a run go. A null member is skipped.
struct RecordStores {
    AuditLogManager* audit = nullptr;
    StatsManager* stats = nullptr;
    TraceFileWriter* traces = nullptr;
};

// What became of a run's records, for the result sheet's one line: the run stopped because its
// records stopped being kept, or its disk steps could not go on (why, and how many files it left
// untouched), and removed files whose records are not in the log yet (neither the journal nor the
// log took their last lines: their intents are in the journal, so the next start records them).
struct RecordOutcome {
    QString stopReason;
    qint64 kept = 0;
    qint64 unrecorded = 0;
    QString reason;
    bool notStarted = false;   // stopped before its first file: no file was touched
    bool stepsStopped = false; // stopped by its disk steps (the Trash's disk full), not its records

    // The result sheet's line; empty when everything was recorded.
    QString text() const;
    // Into the action's result: that line, or for a run that never started, a refusal with its
    // one reason (the sheet shows it as not started).
    void applyTo(ActionResult& result) const;
};

// Merges the records journal into the audit log, the statistics and the trace files: at the end of
// each run, and at start for the runs a kill left open. Each part of a run is applied once, also
// when the merge itself is killed and done again: audit entries are kept by id, the statistics
// write is announced in the journal with the totals before and after it, and every trace file's
// name is in the journal before the file is made.
class RecordMerge {
public:
    // The end of a run, on the GUI thread once its disk work is over: its entries join the audit
    // log, its trace files are written (when the run writes them), its totals are added to the
    // statistics (when anything counted). The journal is synced before it returns. When the
    // journal refused some of the run's lines, the audit log is written with its entries in place
    // of the journal, before the statistics; the next start then finds them there and leaves the
    // run's lines in the journal alone. When the log refuses them too, nothing more is written:
    // the run stays open for the next start, which decides it by the disk and counts it once.
    // Then the records' reserve is made again when it is missing and there is room.
    // `shown`: the run's counted entries made ready on its worker (prepareShown()).
    static RecordOutcome closeRun(RecordRun& run, const RecordStores& stores,
                                  std::optional<AuditLogManager::Shown> shown = std::nullopt);
    // On the run's worker once its disk work is over: what closeRun() shows, made ready there.
    static std::optional<AuditLogManager::Shown> prepareShown(const RecordRun& run, AuditLogManager* audit);
    // The start's close of a run a process left open, with one log line for it. False when the run
    // stays open for its trace lines (a full disk refused a trace file): a later start writes them.
    static bool closeRun(const JournalRun& run, const RecordStores& stores, RecordJournal* journal);

    // At start, before the window uses the stores: every run left open by a process that is gone
    // is decided by the disk (RecordRecovery: a killed move finished, its partial copies swept) and
    // closed; then
    // the audit log is compacted when due, unless another process still writes a run, and the
    // records' reserve is made when it is missing and there is room. A run that another process
    // still writes is left to it. The number of runs closed. Any thread, one call at a time.
    static int mergeAtStart(const RecordStores& stores, FileOperations& files);
    // The same in two steps, so that its disk work stays off the GUI thread: openRunsAtStart() on
    // any thread reads the journal and decides the intents by the disk (the runs already kept in
    // the log are closed there too); closeRunsAtStart() then closes the rest on the GUI thread.
    struct StartRuns {
        QList<JournalRun> runs; // decided, to close
        int closed = 0;         // closed already
        int elsewhere = 0;      // written by another window still
        qint64 decided = 0;
        int waiting = 0; // left open for their trace lines

        // Folding the journal into the log would take open runs with it.
        bool mayCompact() const { return elsewhere == 0 && waiting == 0; }
    };
    static StartRuns openRunsAtStart(AuditLogManager& audit, FileOperations& files);
    static int closeRunsAtStart(StartRuns start, const RecordStores& stores);
    // closeRunsAtStart() without its last steps, for a caller that compacts the audit log off the
    // GUI thread (when `start.mayCompact()`) and then calls ensureReserve().
    static int closeStartRuns(StartRuns& start, const RecordStores& stores);
    static void ensureReserve(const RecordStores& stores);

    // "Moved to Trash", "Permanently Deleted", "Moved to Folder"; empty for transcoding.
    static QString traceAction(RecordKind kind);

    // The moments between the parts of a close; tests stop a process at each.
    enum class Step {
        entriesShown,
        traceFilesNamed,
        traceFileWritten,
        statisticsAnnounced,
        statisticsWritten
    };
    static void setStepHookForTesting(std::function<void(Step)> hook);
};

} // namespace tarnwick
