#include "actions/RemovalRun.h"

#include "actions/RemovalRules.h"
#include "actions/TraceFileWriter.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "stores/AuditLogManager.h"
#include "stores/StatsManager.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <cerrno>

namespace tarnwick {

namespace {

// One run at a time touches the disk; the manager's gate already serialises runs.
QThreadPool& removalPool() {
    static QThreadPool pool;
    pool.setMaxThreadCount(1);
    return pool;
}

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
    QString traceAction;
    QString closing;
    AuditAction audit;
    bool toTrash;
};

Wording wordingFor(RemovalMethod method) {
    if (method == RemovalMethod::trash) {
        return {QStringLiteral("Moving "),
                QStringLiteral(" file(s) to Trash"),
                QStringLiteral("Moving files to Trash…"),
                QStringLiteral("R3D: refused to trash container "),
                QStringLiteral("R3D: Trashing .RDC container "),
                QStringLiteral("Protected: skipped trashing "),
                QStringLiteral("Proxy: trashed "),
                QStringLiteral("Proxy: could not trash "),
                QStringLiteral("In use: skipped trashing "),
                QStringLiteral("Moved to Trash"),
                QStringLiteral("Deletion complete: "),
                AuditAction::movedToTrash,
                true};
    }
    return {QStringLiteral("Permanently deleting "),
            QStringLiteral(" file(s)"),
            QStringLiteral("Deleting files…"),
            QStringLiteral("R3D: refused to permanently delete container "),
            QStringLiteral("R3D: Permanently deleting .RDC container "),
            QStringLiteral("Protected: skipped permanently deleting "),
            QStringLiteral("Proxy: deleted "),
            QStringLiteral("Proxy: could not delete "),
            QStringLiteral("In use: skipped permanently deleting "),
            QStringLiteral("Permanently Deleted"),
            QStringLiteral("Permanent deletion complete: "),
            AuditAction::deletedPermanently,
            false};
}

QList<PlannedRemoval> planRemovals(const ProjectManager& manager, const QList<RecycleBinItem>& bin) {
    RemovalRules rules(manager);
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

FileOpStatus removeTarget(FileOperations& files, const QString& target, bool isContainer,
                          RemovalMethod method) {
    if (method == RemovalMethod::trash)
        return files.moveToTrash(target).status;
    return isContainer ? files.removeTree(target) : files.removeFile(target);
}

void executeProxy(const PlannedRemoval& p, ExecutedRemoval& done, FileOperations& files,
                  const ProtectedFolderTest& protection, RemovalMethod method) {
    if (!p.proxy)
        return;
    const FileOpInfo info = files.status(*p.proxy, false);
    if (info.kind == FileKind::missing || protection.isInProtectedFolder(*p.proxy))
        return;
    if (p.proxyInUse) {
        done.proxy = ExecutedRemoval::Proxy::inUse;
        return;
    }
    if (info.kind != FileKind::regular) {
        done.proxy = ExecutedRemoval::Proxy::notRegular;
        return;
    }
    const FileOpStatus status = removeTarget(files, *p.proxy, false, method);
    done.proxy = status.ok() ? ExecutedRemoval::Proxy::removed : ExecutedRemoval::Proxy::failed;
    done.proxyError = status.message;
}

} // namespace

QList<ExecutedRemoval> executeRemovals(const QList<PlannedRemoval>& plan, FileOperations& files,
                                       ProtectedFolderTest protection, RemovalMethod method) {
    using Outcome = ExecutedRemoval::Outcome;
    QList<ExecutedRemoval> results;
    results.reserve(plan.size());
    QSet<QString> handledContainers;
    for (const PlannedRemoval& p : plan) {
        ExecutedRemoval done;
        if (p.verdict != PlannedRemoval::Verdict::proceed) {
            results.append(done);
            continue;
        }
        if (p.isContainer && handledContainers.contains(p.target)) {
            done.outcome = Outcome::withContainer;
            results.append(done);
            continue;
        }
        if (protection.isInProtectedFolder(p.target)) {
            done.outcome = Outcome::protectedTarget;
            results.append(done);
            continue;
        }
        const FileOpInfo info = files.status(p.target, false);
        // Only a container the rules derived is removed with its contents.
        if (!p.isContainer && info.kind == FileKind::directory) {
            done.outcome = Outcome::isFolder;
            results.append(done);
            continue;
        }
        if (p.isContainer && info.kind != FileKind::directory && info.kind != FileKind::missing) {
            done.outcome = Outcome::failed;
            done.error = FileOpStatus::failure(ENOTDIR, QStringLiteral("its .RDC container is not a folder"));
            results.append(done);
            continue;
        }
        if (method == RemovalMethod::deletePermanently)
            done.recordTime = QDateTime::currentDateTimeUtc(); // local time only when a trace is written
        const FileOpStatus status = removeTarget(files, p.target, p.isContainer, method);
        if (method == RemovalMethod::trash)
            done.recordTime = QDateTime::currentDateTimeUtc(); // local time only when a trace is written
        if (!status.ok()) {
            done.outcome = Outcome::failed;
            done.error = status;
            results.append(done);
            continue;
        }
        done.outcome = Outcome::removed;
        if (p.isContainer)
            handledContainers.insert(p.target);
        executeProxy(p, done, files, protection, method);
        results.append(done);
    }
    return results;
}

namespace {

struct AppliedRun {
    RemovalResult result;
    QList<TraceFileWriter::DeletedFileInfo> records;
    QList<AuditLogManager::Request> audit;
};

// Statuses to set, by path, applied in one change of the media list.
class StatusChanges {
public:
    void set(const QString& path, MediaFileStatus status) { m_changes.append({path, status}); }
    void setInside(const QList<qsizetype>& indices) { m_insideContainers += indices; }

    void apply(ProjectManager& manager) const {
        if (m_changes.isEmpty() && m_insideContainers.isEmpty())
            return;
        manager.modifyMediaFiles([&](QList<MediaFile>& list) {
            // Positions are looked up now, on the list as it is after the await.
            QHash<QString, qsizetype> first;
            first.reserve(list.size());
            for (qsizetype i = 0; i < list.size(); ++i) {
                if (!first.contains(list[i].path))
                    first.insert(list[i].path, i);
            }
            for (const qsizetype i : m_insideContainers) {
                if (i >= 0 && i < list.size())
                    list[i].status = MediaFileStatus::deleted;
            }
            for (const auto& [path, status] : m_changes) {
                const qsizetype i = first.value(path, -1);
                if (i >= 0 && i < list.size())
                    list[i].status = status;
            }
        });
    }

private:
    QList<std::pair<QString, MediaFileStatus>> m_changes;
    QList<qsizetype> m_insideContainers;
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

AppliedRun applyRemovals(ProjectManager& manager, const QList<PlannedRemoval>& plan,
                         const QList<ExecutedRemoval>& executed, RemovalMethod method) {
    using Outcome = ExecutedRemoval::Outcome;
    const Wording words = wordingFor(method);
    AppliedRun run;
    RemovalResult& r = run.result;
    StatusChanges changes;
    RemovalRules rules(manager);
    const auto fail = [&](const PlannedRemoval& p, const QString& error, bool backToBin) {
        ++r.failed;
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
            ++r.deleted;
            changes.set(m.path, MediaFileStatus::deleted);
            run.audit.append({words.audit, m, std::nullopt});
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
            AppLog::deleteFailed(RemovalRules::workingPath(m), QStringLiteral("is a folder — skipped"));
            break;
        case Outcome::failed:
        case Outcome::notRun:
            fail(p, p.name + QStringLiteral(": ") + done.error.message, true);
            AppLog::deleteFailed(RemovalRules::workingPath(m), done.error.message);
            break;
        case Outcome::removed:
        case Outcome::withContainer:
            ++r.deleted;
            changes.set(m.path, MediaFileStatus::deleted);
            run.audit.append({words.audit, m, std::nullopt});
            AppLog::fileDeleted(p.target, words.toTrash);
            logProxy(p, done, words);
            run.records.append(
                {p.name, p.target, m.size, m.projectNames, done.recordTime, words.traceAction});
            // Entries inside a removed container are gone too, staged or not.
            if (p.isContainer)
                changes.setInside(rules.entriesInsideContainer(p.target));
            break;
        }
    }
    changes.apply(manager);
    return run;
}

} // namespace

QCoro::Task<RemovalResult> runRemoval(ProjectManager& manager, CleanupServices services,
                                      RemovalMethod method) {
    QPointer<ProjectManager> self(&manager);
    services = services.resolved(manager);
    const Wording words = wordingFor(method);
    OperationGate::Scope scope = co_await manager.beginOperation(words.busy);
    if (!self || !scope.isActive())
        co_return RemovalResult{};
    const QList<RecycleBinItem> bin = manager.recycleBin();
    AppLog::userAction(words.userAction + QString::number(bin.size()) + words.userActionEnd);

    const QList<PlannedRemoval> plan = planRemovals(manager, bin);
    ProtectedFolderTest protection = ProtectedFolderTest::forManager(manager, services.files.get());
    const std::shared_ptr<FileOperations> files = services.files;
    // Off the GUI thread: a slow or hung volume must not freeze the window. The future is made in
    // its own statement (GCC 12 and lambda temporaries inside co_await).
    QFuture<QList<ExecutedRemoval>> work =
        QtConcurrent::run(&removalPool(), [plan, files, protection, method] {
            return executeRemovals(plan, *files, protection, method);
        });
    const QList<ExecutedRemoval> executed = co_await work;
    if (!self)
        co_return RemovalResult{};

    AppliedRun run = applyRemovals(manager, plan, executed, method);
    if (services.auditLog && !run.audit.isEmpty())
        services.auditLog->log(run.audit);
    if (manager.options().writeTraceFiles && !run.records.isEmpty() && services.traceWriter)
        services.traceWriter->writeTraceFiles(run.records);
    if (run.result.deleted >= 1 && services.statsManager) {
        qint64 bytes = 0;
        for (const TraceFileWriter::DeletedFileInfo& record : std::as_const(run.records))
            bytes += record.size;
        services.statsManager->recordDeletion(run.result.deleted, bytes);
    }
    QSet<QString> failedPaths;
    for (const RecycleBinItem& item : std::as_const(run.result.failedItems))
        failedPaths.insert(item.mediaFile.path);
    manager.modifyRecycleBin([&](QList<RecycleBinItem>& items) {
        items.removeIf(
            [&](const RecycleBinItem& item) { return !failedPaths.contains(item.mediaFile.path); });
    });
    manager.updateSummary();
    AppLog::info(words.closing + QString::number(run.result.deleted) + QStringLiteral(" succeeded, ") +
                 QString::number(run.result.failed) + QStringLiteral(" failed"));
    co_return run.result;
}

} // namespace tarnwick
