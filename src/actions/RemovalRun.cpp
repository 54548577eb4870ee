#include "actions/RemovalRun.h"

#include "actions/RecordMerge.h"
#include "actions/RemovalRules.h"
#include "actions/TraceFileWriter.h"
#include "analysis/MediaFilterIndex.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/ThreadPools.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordRun.h"
#include "stores/StatsManager.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

namespace tarnwick {

namespace {

struct Wording {
    QString userAction; // + count + " file(s)..." pieces around it
    QString userActionEnd;
    QString busy;
    QString refusedContainer;
    QString removingContainer;
    QString protectedSkip;
    QString proxyRemoved;
    QString proxyNotRemoved;
    QString nowInUse;
    QString closing;
    AuditAction audit;
    bool toTrash;
    void (*failed)(const QString& path, const QString& errorDescription);
};

Wording wordingFor(RemovalMethod method) {
    if (method == RemovalMethod::trash) {
        return {.userAction = QStringLiteral("Moving "),
                .userActionEnd = QStringLiteral(" file(s) to Trash"),
                .busy = QStringLiteral("Moving files to Trash…"),
                .refusedContainer = QStringLiteral("R3D: refused to trash container "),
                .removingContainer = QStringLiteral("R3D: Trashing .RDC container "),
                .protectedSkip = QStringLiteral("Protected: skipped trashing "),
                .proxyRemoved = QStringLiteral("Proxy: trashed "),
                .proxyNotRemoved = QStringLiteral("Proxy: could not trash "),
                .nowInUse = QStringLiteral("In use: skipped trashing "),
                .closing = QStringLiteral("Deletion complete: "),
                .audit = AuditAction::movedToTrash,
                .toTrash = true,
                .failed = &AppLog::trashFailed};
    }
    return {.userAction = QStringLiteral("Permanently deleting "),
            .userActionEnd = QStringLiteral(" file(s)"),
            .busy = QStringLiteral("Deleting files…"),
            .refusedContainer = QStringLiteral("R3D: refused to permanently delete container "),
            .removingContainer = QStringLiteral("R3D: Permanently deleting .RDC container "),
            .protectedSkip = QStringLiteral("Protected: skipped permanently deleting "),
            .proxyRemoved = QStringLiteral("Proxy: deleted "),
            .proxyNotRemoved = QStringLiteral("Proxy: could not delete "),
            .nowInUse = QStringLiteral("In use: skipped permanently deleting "),
            .closing = QStringLiteral("Permanent deletion complete: "),
            .audit = AuditAction::deletedPermanently,
            .toTrash = false,
            .failed = &AppLog::deleteFailed};
}

// Any thread: the rules read their own copy of the list.
QList<PlannedRemoval> planRemovals(const RemovalRules& rules, const QList<RecycleBinItem>& bin) {
    QList<PlannedRemoval> plan;
    plan.reserve(bin.size());
    for (const RecycleBinItem& item : bin) {
        PlannedRemoval p;
        p.item = item;
        const MediaFile& m = item.mediaFile;
        p.name = RemovalRules::nameOf(m);
        // A later import or a found After Effects project may have put the file in use.
        if (rules.liveUseOf(m)) {
            p.verdict = PlannedRemoval::Verdict::nowInUse;
            p.refusal = RemovalRules::nowInUseText(p.name);
            plan.append(p);
            continue;
        }
        if (const std::optional<QString> container = m.redClipFolder()) {
            if (const std::optional<MediaFile> used = rules.mediaFileInsideContainer(*container)) {
                p.verdict = PlannedRemoval::Verdict::containerRefused;
                p.refusal = RemovalRules::containerRefusedText(p.name, *used);
                p.usedMemberName = used->fileName();
                p.target = *container;
                plan.append(p);
                continue;
            }
            p.isContainer = true;
            p.target = *container;
        } else {
            p.target = RemovalRules::workingPath(m);
        }
        if (m.proxyPath && *m.proxyPath != p.target) {
            p.proxy = m.proxyPath;
            // Editors cut with proxies: one a timeline uses stays.
            p.proxyInUse = rules.entryUsingProxy(*m.proxyPath).has_value();
        }
        plan.append(p);
    }
    return plan;
}

// Statuses to set, by path, applied in one change of the media list.
class StatusChanges {
public:
    void set(const QString& path, MediaFileStatus status) { m_changes.append({path, status}); }
    // Every entry inside a removed container is gone too, staged or not.
    void setInside(const QString& container) { m_containers.append(container); }
    bool isEmpty() const { return m_changes.isEmpty() && m_containers.isEmpty(); }

    // Positions are looked up in `list` as it is now (after the run's await).
    void applyTo(QList<MediaFile>& list) const {
        QList<qsizetype> inside;
        if (!m_containers.isEmpty()) {
            // Scoped: the rules share the list, and a shared list would be copied whole below.
            const RemovalRules rules(list);
            for (const QString& container : m_containers)
                inside += rules.entriesInsideContainer(container);
        }
        const QHash<QString, qsizetype> first = RemovalRules::firstIndexByPath(list);
        for (const qsizetype i : std::as_const(inside)) {
            if (i >= 0 && i < list.size())
                list[i].status = MediaFileStatus::deleted;
        }
        for (const auto& [path, status] : m_changes) {
            const qsizetype i = first.value(path, -1);
            if (i >= 0 && i < list.size())
                list[i].status = status;
        }
    }

private:
    QList<std::pair<QString, MediaFileStatus>> m_changes;
    QStringList m_containers;
};

void logProxy(const PlannedRemoval& p, const ExecutedRemoval& done, const Wording& words) {
    switch (done.proxy) {
    case ExecutedRemoval::Proxy::none:
        break;
    case ExecutedRemoval::Proxy::removed:
        AppLog::info(words.proxyRemoved + *p.proxy + QStringLiteral(" alongside ") + p.name);
        break;
    case ExecutedRemoval::Proxy::failed:
        AppLog::warning(words.proxyNotRemoved + *p.proxy + QStringLiteral(": ") + done.proxyError);
        break;
    case ExecutedRemoval::Proxy::notRegular:
        AppLog::warning(words.proxyNotRemoved + *p.proxy + QStringLiteral(": not a regular file — skipped"));
        break;
    case ExecutedRemoval::Proxy::inUse:
        AppLog::warning(words.proxyNotRemoved + *p.proxy + QStringLiteral(": a timeline uses it — skipped"));
        break;
    }
}

// What a run's worker hands back: its outcome, and the lists as the run leaves them, made from the
// lists it started with (swapped in when they are still the manager's).
struct SettledRun {
    ActionResult result;
    StatusChanges changes;
    std::optional<QList<MediaFile>> media; // with the changes, when there are any
    std::optional<QList<RecycleBinItem>> bin;
    std::optional<std::vector<quint8>> binned;
    std::optional<ProjectManager::PreparedSummary> summary;
    std::optional<AuditLogManager::Shown> shown; // the run's entries, ready to join the log
};

// Counts, statuses to set and log lines; the records come from the journal's run. Any thread.
void settleRemovals(SettledRun& settled, const QList<PlannedRemoval>& plan,
                    const QList<ExecutedRemoval>& executed, RemovalMethod method) {
    using Outcome = ExecutedRemoval::Outcome;
    const Wording words = wordingFor(method);
    ActionResult& r = settled.result;
    StatusChanges& changes = settled.changes;
    const auto fail = [&](const PlannedRemoval& p, const QString& error, bool backToBin) {
        ++r.failed;
        if (!error.isEmpty())
            r.errors.append(error);
        r.failedItems.append(p.item);
        if (backToBin && method == RemovalMethod::trash)
            changes.set(p.item.mediaFile.path, MediaFileStatus::inRecycleBin);
    };
    for (qsizetype i = 0; i < plan.size() && i < executed.size(); ++i) {
        const PlannedRemoval& p = plan[i];
        const ExecutedRemoval& done = executed[i];
        const MediaFile& m = p.item.mediaFile;
        if (p.verdict == PlannedRemoval::Verdict::nowInUse) {
            AppLog::warning(words.nowInUse + RemovalRules::workingPath(m));
            fail(p, p.refusal, false);
            continue;
        }
        if (p.verdict == PlannedRemoval::Verdict::containerRefused) {
            fail(p, p.refusal, false);
            AppLog::warning(words.refusedContainer + p.target + QStringLiteral(" — used member ") +
                            p.usedMemberName + QStringLiteral(" inside"));
            continue;
        }
        if (done.outcome == Outcome::withContainer) {
            ++r.succeeded;
            changes.set(m.path, MediaFileStatus::deleted);
            continue;
        }
        if (p.isContainer)
            AppLog::info(words.removingContainer + p.target + QStringLiteral(" for ") + p.name);
        switch (done.outcome) {
        case Outcome::protectedTarget:
            fail(p, RemovalRules::protectedText(p.name), true);
            AppLog::warning(words.protectedSkip + p.target);
            break;
        case Outcome::isFolder:
            fail(p, RemovalRules::isFolderText(p.name), true);
            words.failed(RemovalRules::workingPath(m), QStringLiteral("is a folder — skipped"));
            break;
        case Outcome::changed:
            fail(p, RemovalRules::changedText(p.name), true);
            words.failed(RemovalRules::workingPath(m), RemovalRules::changedReason());
            break;
        case Outcome::failed:
        case Outcome::notRun:
            fail(p, p.name + QStringLiteral(": ") + done.error.message, true);
            words.failed(RemovalRules::workingPath(m), done.error.message);
            break;
        case Outcome::keptForRecords:
            // One line for them all, in the log and on the sheet: the run's stop (RecordOutcome).
            fail(p, {}, true);
            break;
        case Outcome::removed:
        case Outcome::withContainer:
            ++r.succeeded;
            changes.set(m.path, MediaFileStatus::deleted);
            AppLog::fileDeleted(p.target, words.toTrash);
            logProxy(p, done, words);
            if (p.isContainer)
                changes.setInside(p.target);
            break;
        }
    }
}

// The bin without what the run took: the items that failed stay.
QList<RecycleBinItem> failedOnly(QList<RecycleBinItem> bin, const QList<RecycleBinItem>& failed) {
    QSet<QString> failedPaths;
    failedPaths.reserve(failed.size());
    for (const RecycleBinItem& item : failed)
        failedPaths.insert(item.mediaFile.path);
    bin.removeIf([&](const RecycleBinItem& item) { return !failedPaths.contains(item.mediaFile.path); });
    return bin;
}

// The worker's half of a run: the plan, the disk and the lists it leaves. The lists it is given are
// let go of before it returns, so that the new ones are the only copies when they are swapped in.
SettledRun removeOnWorker(std::pair<QList<MediaFile>, QList<RecycleBinItem>>& lists, FileOperations& files,
                          const ProtectedFolderTest& protection, RemovalMethod method, RecordRun* records,
                          AuditLogManager* audit, SeenItems seen,
                          const ProjectManager::SummaryInputs& inputs) {
    SettledRun settled;
    {
        const QList<PlannedRemoval> plan = planRemovals(RemovalRules(lists.first), lists.second);
        const QList<ExecutedRemoval> executed =
            executeRemovals(plan, files, protection, method, records, std::move(seen));
        settleRemovals(settled, plan, executed, method);
    }
    if (records)
        settled.shown = RecordMerge::prepareShown(*records, audit);
    auto [media, bin] = std::exchange(lists, {});
    if (!settled.changes.isEmpty()) {
        settled.changes.applyTo(media);
        settled.media = media;
    }
    settled.bin = failedOnly(std::move(bin), settled.result.failedItems);
    if (!settled.bin->isEmpty())
        settled.binned = MediaFilterIndex::binnedRows(media, *settled.bin);
    settled.summary = inputs.prepare(media, *settled.bin);
    return settled;
}

// A run's records and the worker that writes them. The worker only borrows the records (its task
// may be destroyed on its own thread after the journal they write to has ended): they are owned
// here and outlive the worker by construction, as it is joined before they go (at once when it has
// been awaited).
struct RecordedWork {
    std::unique_ptr<RecordRun> records;
    QFuture<SettledRun> work;
    ~RecordedWork() { work.waitForFinished(); }
};

} // namespace

QCoro::Task<ActionResult> runRemoval(ProjectManager& manager, CleanupServices services,
                                     RemovalMethod method) {
    QPointer<ProjectManager> self(&manager);
    services = services.resolved(manager);
    const Wording words = wordingFor(method);
    // The user confirmed the bin as it is now: what each staged path holds now is what may go,
    // however long the run then waits for its turn.
    QFuture<SeenItems> seeing = QtConcurrent::run(
        &removalCheckPool(), [files = services.files, paths = watchedPaths(manager.recycleBin())] {
            return recordSeen(*files, paths);
        });
    OperationGate::Scope scope = co_await manager.beginOperation(words.busy);
    if (!self || !scope.isActive())
        co_return ActionResult{};
    SeenItems seen = co_await seeing;
    seeing = {}; // its copy would be freed here at the run's end; the worker's goes there
    if (!self)
        co_return ActionResult{};
    // The plan and the lists the run leaves are made on the worker too, from the lists as they are
    // now: 50,000 staged files among 400,000 must not hold the window at either end of the run.
    auto lists = std::make_shared<std::pair<QList<MediaFile>, QList<RecycleBinItem>>>(manager.mediaFiles(),
                                                                                      manager.recycleBin());
    const qint64 mediaVersion = manager.mediaFilesVersion();
    const qint64 binVersion = manager.recycleBinVersion();
    AppLog::userAction(words.userAction + QString::number(lists->second.size()) + words.userActionEnd);

    ProtectedFolderTest protection = ProtectedFolderTest::forManager(manager, services.files.get());
    const std::shared_ptr<FileOperations> files = services.files;
    RecordedWork worker{
        std::make_unique<RecordRun>(services.auditLog ? &services.auditLog->journal() : nullptr,
                                    method == RemovalMethod::trash ? RecordKind::trash : RecordKind::deletion,
                                    manager.options().writeTraceFiles),
        {}};
    const RecordStores stores{services.auditLog, services.statsManager, services.traceWriter};
    // Off the GUI thread: a slow or hung volume must not freeze the window. The future is made in
    // its own statement (GCC 12 and lambda temporaries inside co_await).
    worker.work =
        QtConcurrent::run(&removalPool(), [lists, files, protection, method, run = worker.records.get(),
                                           audit = services.auditLog, seen = std::move(seen),
                                           inputs = manager.summaryInputs()] {
            return removeOnWorker(*lists, *files, protection, method, run, audit, seen, inputs);
        });
    SettledRun settled = co_await worker.work;
    // Done with: the future's copy of the lists would make the manager's next change copy them.
    worker.work = {};
    RecordRun& records = *worker.records;
    if (!self) {
        RecordMerge::closeRun(records, stores, std::move(settled.shown)); // the stores outlive the window
        co_return ActionResult{};
    }

    ActionResult result = std::move(settled.result);
    RecordMerge::closeRun(records, stores, std::move(settled.shown)).applyTo(result);
    if (settled.bin && manager.mediaFilesVersion() == mediaVersion &&
        manager.recycleBinVersion() == binVersion) {
        {
            ProjectManager::Edit edit(manager, ProjectManager::ListChange::entries);
            if (settled.media)
                edit.setMediaFiles(std::move(*settled.media));
            edit.setRecycleBin(std::move(*settled.bin)).withPreparedSummary(std::move(settled.summary));
        }
        // After the commit, as the bin's own bulk changes do.
        if (settled.binned)
            manager.setBinnedRows(std::move(*settled.binned));
    } else {
        // The lists changed during the run: its changes go onto them as they are now.
        manager.edit(ProjectManager::ListChange::entries)
            .modifyMediaFiles([&](QList<MediaFile>& list) { settled.changes.applyTo(list); })
            .modifyRecycleBin([&](QList<RecycleBinItem>& items) {
                items = failedOnly(std::move(items), result.failedItems);
            });
    }
    AppLog::info(words.closing + QString::number(result.succeeded) + QStringLiteral(" succeeded, ") +
                 QString::number(result.failed) + QStringLiteral(" failed"));
    co_return result;
}

RemovalRun::RemovalRun(ProjectManager& manager, RemovalMethod method, QString description,
                       CleanupServices services)
    : CleanupRun(manager, method == RemovalMethod::trash ? CleanupRunKind::trash : CleanupRunKind::deletion,
                 std::move(description)),
      m_method(method), m_services(std::move(services)) {}

QCoro::Task<CleanupResult> RemovalRun::work() {
    co_return CleanupResult::of(kind(), co_await runRemoval(*manager(), m_services, m_method));
}

} // namespace tarnwick
