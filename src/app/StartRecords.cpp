#include "app/StartRecords.h"

#include "actions/RecordMerge.h"
#include "actions/TraceFileWriter.h"
#include "analysis/ProjectManager.h"
#include "platform/FileOperations.h"
#include "platform/ThreadPools.h"
#include "stores/AuditLogManager.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

namespace tarnwick {

QCoro::Task<int> mergeStartRecords(ProjectManager& manager, std::shared_ptr<FileOperations> files) {
    QPointer<ProjectManager> alive(&manager);
    OperationGate::Scope scope = co_await manager.beginOperation(QString::fromUtf8(startRecordsReason));
    if (!alive || !scope.isActive())
        co_return 0;
    AuditLogManager* audit = manager.auditLog();
    if (!audit)
        co_return 0;
    // Made apart from the co_await: a temporary with captures in that statement is destroyed twice
    // by this compiler when the task was left to run on its own.
    QFuture<RecordMerge::StartRuns> opening = QtConcurrent::run(
        &startRecordsPool(), [audit, files] { return RecordMerge::openRunsAtStart(*audit, *files); });
    RecordMerge::StartRuns runs = co_await opening;
    if (!alive)
        co_return 0;
    const RecordStores stores{manager.auditLog(), manager.statsManager(), &TraceFileWriter::shared()};
    const int closed = RecordMerge::closeStartRuns(runs, stores);
    // Emptying the journal would take another window's open run with it, or a run's waiting traces.
    if (runs.mayCompact() && stores.audit) {
        // The log's read, encode and rewrite (a second at 50,000 entries) go to the worker; the
        // journal is emptied here once the log was replaced.
        if (std::optional<AuditLogManager::Compaction> compaction = stores.audit->beginCompaction()) {
            AuditLogManager::Compaction* job = &*compaction;
            QFuture<void> compacting = QtConcurrent::run(&startRecordsPool(), [job] { job->run(); });
            co_await compacting;
            if (!alive)
                co_return closed;
            manager.auditLog()->endCompaction(*compaction);
        } else {
            stores.audit->compactIfDue();
        }
    }
    RecordMerge::ensureReserve({manager.auditLog(), nullptr, nullptr});
    co_return closed;
}

} // namespace tarnwick
