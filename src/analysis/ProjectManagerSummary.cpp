#include "analysis/ProjectManager.h"

#include "analysis/VolumeAccess.h"

#include <algorithm>

namespace tarnwick {

namespace {

bool countsOnDiskSize(MediaFileStatus status) {
    return status == MediaFileStatus::online || status == MediaFileStatus::matching ||
           status == MediaFileStatus::inRecycleBin || status == MediaFileStatus::transcoded;
}

} // namespace

void ProjectManager::updateSummary() {
    refreshNeedsReviewFlags();
    summarize();
}

void ProjectManager::summarize() {
    AnalysisSummary s;
    s.totalProjects = int(m_projects.size());
    s.totalMediaFiles = int(m_mediaFiles.size());
    for (const MediaFile& file : std::as_const(m_mediaFiles)) {
        const bool used = file.usageCount >= 1 || file.isAEFootage;
        const bool unused = file.usageCount == 0 && !file.isAEFootage;
        s.usedFiles += used;
        s.unusedFiles += unused;
        s.audioOnlyFiles += file.usageType == MediaUsageType::audioOnly;
        s.onlineFiles += file.status == MediaFileStatus::online;
        s.relocatedFiles += file.status == MediaFileStatus::online && file.matchedPath.has_value();
        s.matchingFiles += file.status == MediaFileStatus::matching;
        s.offlineFiles += file.status == MediaFileStatus::offline;
        s.networkOfflineFiles += file.status == MediaFileStatus::networkOffline;
        s.duplicateFiles += file.duplicateOfPath.has_value();
        s.aeLinkedFiles += file.isAEFootage;
        s.uncertainAEFiles += file.hasUnresolvedAELink;
        if (countsOnDiskSize(file.status)) {
            s.totalSize += file.size;
            if (unused)
                s.unusedSize += file.size;
        }
    }
    for (const RecycleBinItem& item : std::as_const(m_recycleBin))
        s.recycleBinSize += item.mediaFile.size;
    s.recycleBinCount = int(m_recycleBin.size());
    setSummary(s);

    refreshVolumesNeedingAccess();
    m_lowerPaths.prune(m_mediaFiles, m_projects);
}

void ProjectManager::refreshNeedsReviewFlags() {
    setNeedsReviewFlags(m_mediaFiles, m_projects, m_lowerPaths);
    // Written back whole also when no flag changed: every summary update invalidates the caches.
    bumpMediaFiles();
}

void ProjectManager::setNeedsReviewFlags(QList<MediaFile>& mediaFiles, const QList<ProjectFile>& projects,
                                         LowerPathCache& lowerPaths) {
    QSet<QString> uncertain;
    for (const ProjectFile& project : projects) {
        if (!project.parseError && project.parseWarnings.isEmpty())
            continue;
        const QStringList& lowered = lowerPaths.projectPaths(project);
        uncertain.unite(QSet<QString>(lowered.cbegin(), lowered.cend()));
    }
    for (qsizetype i = 0; i < mediaFiles.size(); ++i) {
        const MediaFile& file = std::as_const(mediaFiles)[i];
        bool found = false;
        if (!uncertain.isEmpty()) {
            const QStringList& keys = lowerPaths.distinctKeys(file);
            found = std::any_of(keys.cbegin(), keys.cend(),
                                [&](const QString& k) { return uncertain.contains(k); });
        }
        const bool needsReview = file.hasUnresolvedAELink || file.isFromDaVinciCSV || found;
        if (needsReview != file.needsReview)
            mediaFiles[i].needsReview = needsReview;
    }
}

void ProjectManager::refreshVolumesNeedingAccess() {
    if (!isSandboxed())
        return;
    const QStringList roots = volumeRootsNeedingAccess(m_mediaFiles);
    QList<QUrl> urls;
    urls.reserve(roots.size());
    for (const QString& root : roots)
        urls.append(QUrl::fromLocalFile(root));
    updatePrompts([&](PromptState& prompts) { prompts.volumesNeedingAccess = urls; });
    QSet<QString> prompted = m_prompts.promptedVolumePaths;
    bool anyNew = false;
    for (const QString& root : roots) {
        if (!prompted.contains(root)) {
            prompted.insert(root);
            anyNew = true;
        }
    }
    if (!anyNew)
        return;
    updatePrompts([&](PromptState& prompts) {
        prompts.promptedVolumePaths = prompted;
        prompts.shouldPromptForVolumeAccess = true;
    });
}

} // namespace tarnwick
