#include "analysis/MediaRescanner.h"

#include "analysis/EffectiveUsage.h"
#include "analysis/FileStatusScan.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/MemoryRelease.h"
#include "platform/ThreadNames.h"

#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>

#include <qcoro/qcorofuture.h>

namespace tarnwick {

namespace {

// The checks by entry and the projects' usage: what the rescan found.
struct Found {
    QHash<QUuid, FileStatusResult> byID;
    UsageMap usage;
};

Found find(const QList<MediaFile>& media, const ProjectManager::UsageRecountInputs& inputs,
           const std::shared_ptr<FileStatusScan>& scan, const FileStatusChecking::Options& options) {
    Found out;
    const QList<MediaRescanner::Check> checks = MediaRescanner::checksFor(media);
    if (!checks.isEmpty()) {
        QStringList paths;
        QSet<QString> seen;
        for (const MediaRescanner::Check& check : checks) {
            if (!seen.contains(UsageMap::key(check.path))) {
                seen.insert(UsageMap::key(check.path));
                paths.append(check.path);
            }
        }
        QHash<QString, FileStatusResult> byPath;
        for (const FileStatusResult& result :
             scan->checkAll(paths, mergedRelativeCandidates(inputs.projects), options))
            byPath.insert(UsageMap::key(result.path), result);
        for (const MediaRescanner::Check& check : checks) {
            if (const auto it = byPath.constFind(UsageMap::key(check.path)); it != byPath.cend())
                out.byID.insert(check.id, *it);
        }
    }
    out.usage = aggregateProjects(inputs.projects, effectiveContributions(inputs.projects, inputs.snapshots));
    return out;
}

// The list as it is when applied, with what was found written in and its recount prepared.
struct Applied {
    QList<MediaFile> media;
    ProjectManager::PreparedUsageRecount recount;
};

} // namespace

QCoro::Task<bool> MediaRescanner::rescanAll(ProjectManager& manager) {
    std::optional<OperationGate::Scope> scope =
        manager.tryBeginOperation(QStringLiteral("Refreshing file status…"));
    if (!scope) {
        AppLog::warning(QStringLiteral("Rescanning refused: ") + manager.busyReason());
        co_return false;
    }
    AppLog::userAction(QStringLiteral("Rescanning file status and usage counts"));
    // Everything that touches 100,000 entries runs on a worker (the window keeps drawing): the
    // checks, the projects' usage, applying both to a copy of the list and its recount. The result
    // replaces the list in one step; a list that changed meanwhile (a flag refreshed) is applied to
    // again, and only then is the work done here.
    QPointer<ProjectManager> pm(&manager);
    const ProjectManager::UsageRecountInputs inputs = manager.usageRecountInputs();
    // Results come back behind a pointer: a value read out of a future shares its data with the
    // future's own copy, and the first change on this thread would copy 100,000 entries here.
    QThreadPool pool;
    nameThreads(pool, "Rescan");
    QFuture<std::shared_ptr<const Found>> finding =
        QtConcurrent::run(&pool, [media = manager.mediaFiles(), inputs, scan = manager.fileStatusScan(),
                                  options = manager.fileStatusOptions()] {
            return std::make_shared<const Found>(find(media, inputs, scan, options));
        });
    std::shared_ptr<const Found> found = co_await finding;
    finding = {};
    if (!pm)
        co_return false;
    for (int attempt = 0;; ++attempt) {
        const qint64 version = manager.mediaFilesVersion();
        if (attempt == 3) {
            manager.edit(ProjectManager::ListChange::usage).modifyMediaFiles([&](QList<MediaFile>& list) {
                apply(list, found->byID, found->usage);
            });
            break;
        }
        QFuture<std::shared_ptr<Applied>> applying =
            QtConcurrent::run(&pool, [media = manager.mediaFiles(), inputs, found]() mutable {
                apply(media, found->byID, found->usage);
                auto applied = std::make_shared<Applied>();
                applied->recount = ProjectManager::prepareUsageRecount(media, inputs);
                // The review flags too: the GUI thread's summary then only counts.
                ProjectManager::setNeedsReviewFlags(media, inputs.projects, applied->recount.lowerPaths);
                applied->recount.needsReviewSet = true;
                applied->media = std::move(media);
                return applied;
            });
        std::shared_ptr<Applied> applied = co_await applying;
        applying = {};
        if (!pm)
            co_return false;
        if (manager.mediaFilesVersion() != version) {
            memory::releaseLater(std::move(applied));
            continue;
        }
        {
            // Its prepared recount, or a recount here when the projects or the policy changed since.
            ProjectManager::Edit edit(manager, ProjectManager::ListChange::usage);
            edit.setMediaFiles(std::move(applied->media));
            manager.adoptLowerPathKeys(applied->recount.lowerPaths);
            edit.withPreparedRecount(applied->recount);
        }
        memory::releaseLater(std::move(applied));
        break;
    }
    // The usage of every path found, freed on the release thread rather than here.
    memory::releaseLater(std::move(found));
    // Either recount ended with the summary.
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
