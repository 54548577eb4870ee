#include "analysis/MediaRescanner.h"

#include "analysis/FileStatusScan.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"

#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

namespace tarnwick {

QCoro::Task<bool> MediaRescanner::rescanAll(ProjectManager& manager) {
    std::optional<OperationGate::Scope> scope =
        manager.tryBeginOperation(QStringLiteral("Refreshing file status…"));
    if (!scope) {
        AppLog::warning(QStringLiteral("Rescanning refused: ") + manager.busyReason());
        co_return false;
    }
    AppLog::userAction(QStringLiteral("Rescanning file status and usage counts"));
    const QList<Check> checks = checksFor(manager.mediaFiles());
    QHash<QUuid, FileStatusResult> byID;
    if (!checks.isEmpty()) {
        QStringList paths;
        QSet<QString> seen;
        for (const Check& check : checks) {
            if (!seen.contains(UsageMap::key(check.path))) {
                seen.insert(UsageMap::key(check.path));
                paths.append(check.path);
            }
        }
        QPointer<ProjectManager> pm(&manager);
        QThreadPool pool;
        QFuture<QHash<QString, FileStatusResult>> checking = QtConcurrent::run(
            &pool, [scan = manager.fileStatusScan(), paths, candidates = manager.mergedRelativeCandidates(),
                    options = manager.fileStatusOptions()] {
                QHash<QString, FileStatusResult> byPath;
                for (const FileStatusResult& result : scan->checkAll(paths, candidates, options))
                    byPath.insert(UsageMap::key(result.path), result);
                return byPath;
            });
        const QHash<QString, FileStatusResult> byPath = co_await checking;
        if (!pm)
            co_return false;
        for (const Check& check : checks) {
            if (const auto it = byPath.constFind(UsageMap::key(check.path)); it != byPath.cend())
                byID.insert(check.id, *it);
        }
    }
    const UsageMap usage = aggregateProjects(manager.projects(), manager.effectiveContributionRule());
    manager.modifyMediaFiles([&](QList<MediaFile>& list) { apply(list, byID, usage); });
    manager.recomputeUsageCounts();
    manager.updateSummary();
    AppLog::info(QStringLiteral("Rescan complete"));
    co_return true;
}

QList<MediaRescanner::Check> MediaRescanner::checksFor(const QList<MediaFile>& mediaFiles) {
    QList<Check> checks;
    checks.reserve(mediaFiles.size());
    for (const MediaFile& file : mediaFiles)
        checks.append({file.id, file.path});
    return checks;
}

void MediaRescanner::applyStatus(MediaFile& file, const FileStatusResult& result) {
    const bool cleanedUp = file.status == MediaFileStatus::deleted || file.status == MediaFileStatus::moved ||
                           file.status == MediaFileStatus::inRecycleBin;
    if (!cleanedUp)
        file.status = result.status;
    if (result.resolvedPath != file.path)
        file.matchedPath = result.resolvedPath;
    else
        file.matchedPath.reset();
    file.size = result.size;
    file.storageType = result.storageType;
}

void MediaRescanner::applyUsage(MediaFile& file, const UsageMap& usage) {
    const PathUsage* u = usage.find(file.path);
    if (!u)
        return;
    file.usageCount = u->usageCount;
    file.projectNames = u->projectNames;
    file.sequenceNames = sortedSequenceNames(u->sequenceNames);
    if (u->usageCount == 0 && file.isAEFootage)
        file.usageType = MediaUsageType::usedInAfterEffects;
    else
        file.usageType = usageTypeFor(*u);
}

int MediaRescanner::apply(QList<MediaFile>& mediaFiles, const QHash<QUuid, FileStatusResult>& results,
                          const UsageMap& usage) {
    int updated = 0;
    for (MediaFile& file : mediaFiles) {
        const auto it = results.constFind(file.id);
        // An entry whose path changed since its check was taken keeps its status until the next rescan.
        if (it != results.cend() && it->path == file.path) {
            applyStatus(file, *it);
            ++updated;
        }
        applyUsage(file, usage);
    }
    return updated;
}

} // namespace tarnwick
