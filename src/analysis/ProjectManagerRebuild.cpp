#include "analysis/ProjectManager.h"

#include "analysis/FileStatusScan.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <algorithm>

namespace tarnwick {

namespace {

MediaUsageType usageTypeOf(const PathUsage& u, bool isAEFootage) {
    if (u.usageCount != 0)
        return u.isAudioOnly ? MediaUsageType::audioOnly : MediaUsageType::videoAndAudio;
    return isAEFootage ? MediaUsageType::usedInAfterEffects : MediaUsageType::unused;
}

} // namespace

QHash<QString, QString> ProjectManager::mergedRelativeCandidates() const {
    QHash<QString, QString> merged;
    for (const ProjectFile& project : m_projects) {
        for (auto it = project.relativeCandidates.cbegin(); it != project.relativeCandidates.cend(); ++it) {
            if (!merged.contains(it.key()))
                merged.insert(it.key(), it.value());
        }
    }
    return merged;
}

bool ProjectManager::isOrphanedRecycleBinItem(const RecycleBinItem& item) const {
    return std::none_of(m_mediaFiles.cbegin(), m_mediaFiles.cend(), [&](const MediaFile& file) {
        return text::canonicalEquals(file.path, item.mediaFile.path);
    });
}

void ProjectManager::pruneOrphanedRecycleBinItems() {
    QSet<QString> paths;
    paths.reserve(m_mediaFiles.size());
    for (const MediaFile& file : std::as_const(m_mediaFiles))
        paths.insert(text::nfc(file.path));
    modifyRecycleBin([&](QList<RecycleBinItem>& bin) {
        bin.removeIf(
            [&](const RecycleBinItem& item) { return !paths.contains(text::nfc(item.mediaFile.path)); });
    });
}

QCoro::Task<bool> ProjectManager::rebuildMediaFilesFromProjects() {
    auto scope = tryBeginOperation(QStringLiteral("Updating the media list…"));
    if (!scope) {
        refuseWhileBusy(QStringLiteral("Rebuilding the media list"));
        co_return false;
    }
    co_await rebuildWhileHoldingGate();
    co_return true;
}

QCoro::Task<void> ProjectManager::rebuildWhileHoldingGate() {
    QPointer<ProjectManager> self(this);
    UsageMap usage = aggregateProjects(m_projects, effectiveContributionRule());
    QHash<QString, MediaFile> existing = entriesByPath(m_mediaFiles);
    QStringList fresh = newPaths(usage, existing);
    QHash<QString, FileStatusResult> checked;
    if (!fresh.isEmpty()) {
        const qint64 projectsVersion = m_projectsVersion;
        const qint64 mediaVersion = m_mediaFilesVersion;
        const auto candidates = mergedRelativeCandidates();
        const auto options = fileStatusOptions();
        const auto scan = fileStatusScan();
        // Off the GUI thread: a network share can take minutes for 100,000 paths.
        // The future is made in its own statement: GCC 12 destroys lambda temporaries inside a
        // co_await expression twice.
        QFuture<QList<FileStatusResult>> checks =
            QtConcurrent::run(&m_workerPool, [scan, fresh, candidates, options, stop = m_stopChecks] {
                return scan->checkAll(fresh, candidates, options, {}, stop.get());
            });
        const QList<FileStatusResult> results = co_await checks;
        if (!self)
            co_return;
        for (const FileStatusResult& result : results)
            checked.insert(UsageMap::key(result.path), result);
        if (projectsVersion != m_projectsVersion || mediaVersion != m_mediaFilesVersion) {
            // Only a caller that bypassed the gate gets here: rebuild from what is there now.
            usage = aggregateProjects(m_projects, effectiveContributionRule());
            existing = entriesByPath(m_mediaFiles);
            QStringList unchecked;
            for (const QString& path : newPaths(usage, existing)) {
                if (!checked.contains(UsageMap::key(path)))
                    unchecked.append(path);
            }
            for (const FileStatusResult& result :
                 scan->checkAll(unchecked, mergedRelativeCandidates(), options))
                checked.insert(UsageMap::key(result.path), result);
        }
    }
    finishRebuild(buildRebuiltList(usage, existing, checked));
}

QList<MediaFile> ProjectManager::buildRebuiltList(const UsageMap& usage,
                                                  const QHash<QString, MediaFile>& existing,
                                                  const QHash<QString, FileStatusResult>& checked) {
    QList<MediaFile> list;
    list.reserve(usage.size());
    for (qsizetype i = 0; i < usage.size(); ++i) {
        const QString& path = usage.pathAt(i);
        const PathUsage& u = usage.usageAt(i);
        const QString key = UsageMap::key(path);
        // Built from the known entry directly: a default record would draw a fresh UUID for nothing.
        const auto known = existing.constFind(key);
        MediaFile file = known != existing.cend() ? known.value() : newMediaEntry(path);
        if (known == existing.cend()) {
            if (const auto result = checked.constFind(key); result != checked.cend()) {
                file.status = result->status;
                file.size = result->size;
                file.storageType = result->storageType;
                if (result->resolvedPath != path)
                    file.matchedPath = result->resolvedPath;
            }
        }
        file.usageCount = u.usageCount;
        file.projectNames = u.projectNames;
        file.sequenceNames = sortedSequenceNames(u.sequenceNames);
        file.usageType = usageTypeOf(u, file.isAEFootage);
        list.append(std::move(file));
    }
    return list;
}

void ProjectManager::finishRebuild(QList<MediaFile> rebuilt) {
    sortByFileName(rebuilt); // the order the import ends with
    setMediaFiles(std::move(rebuilt));
    refreshProtectedFlags();
    recomputeUsageCounts();
    pruneOrphanedRecycleBinItems();
    updateSummary();
    m_lowerPaths.prune(m_mediaFiles, m_projects);
}

} // namespace tarnwick
