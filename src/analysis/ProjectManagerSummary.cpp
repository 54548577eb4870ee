#include "analysis/ProjectManager.h"

#include "analysis/CharacterAnimatorFolders.h"
#include "analysis/MediaFilterIndex.h"
#include "analysis/UnresolvedClipNames.h"
#include "analysis/VolumeAccess.h"

#include <algorithm>
#include <optional>

namespace tarnwick {

namespace {

bool countsOnDiskSize(MediaFileStatus status) {
    return status == MediaFileStatus::online || status == MediaFileStatus::matching ||
           status == MediaFileStatus::inRecycleBin || status == MediaFileStatus::transcoded;
}

bool parsedWithTrouble(const ProjectFile& project) {
    return project.parseError || !project.parseWarnings.isEmpty();
}

bool hasParseTrouble(const ProjectFile& project) {
    return parsedWithTrouble(project) || !project.unresolvedClipNames.isEmpty();
}

// What makes a file need review besides its own flags: the lower-cased paths of the projects that
// parsed with errors or warnings (all their files), the names of timeline clips that some project
// could not match to a file (the files of those names in every project), and the folders of the
// Character Animator projects a timeline uses (the files in them).
struct ReviewSources {
    QSet<QString> uncertain;
    UnresolvedClipNames names;
    CharacterAnimatorFolders characterAnimator;

    ReviewSources(const QList<ProjectFile>& projects, const QList<MediaFile>& media,
                  LowerPathCache& lowerPaths)
        : names(projects), characterAnimator(media) {
        for (const ProjectFile& project : projects) {
            if (!parsedWithTrouble(project))
                continue;
            const QStringList& lowered = lowerPaths.projectPaths(project);
            uncertain.unite(QSet<QString>(lowered.cbegin(), lowered.cend()));
        }
    }
    bool isEmpty() const { return uncertain.isEmpty() && names.isEmpty(); }
};

struct Review {
    bool needed = false;
    std::optional<QString> characterAnimatorProject;

    bool differsFrom(const MediaFile& file) const {
        return needed != file.needsReview || characterAnimatorProject != file.characterAnimatorProject;
    }
    void applyTo(MediaFile& file) const {
        file.needsReview = needed;
        file.characterAnimatorProject = characterAnimatorProject;
    }
};

bool needsReviewOf(const MediaFile& file, const ReviewSources& sources, LowerPathCache& lowerPaths) {
    if (file.hasUnresolvedAELink || file.isFromDaVinciCSV)
        return true;
    if (sources.isEmpty())
        return false;
    const QStringList& keys = lowerPaths.distinctKeys(file);
    return std::any_of(keys.cbegin(), keys.cend(), [&](const QString& k) {
        return sources.uncertain.contains(k) || sources.names.namesFile(k);
    });
}

Review reviewOf(const MediaFile& file, const ReviewSources& sources, LowerPathCache& lowerPaths) {
    Review review;
    if (!sources.characterAnimator.isEmpty())
        review.characterAnimatorProject = sources.characterAnimator.projectHolding(file, lowerPaths);
    review.needed = review.characterAnimatorProject || needsReviewOf(file, sources, lowerPaths);
    return review;
}

// One entry's share of the counters.
void count(AnalysisSummary& s, const MediaFile& file) {
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

void countBin(AnalysisSummary& s, const QList<RecycleBinItem>& bin) {
    for (const RecycleBinItem& item : bin)
        s.recycleBinSize += item.mediaFile.size;
    s.recycleBinCount = int(bin.size());
}

} // namespace

std::optional<PreparedSummary> prepareSummary(const QList<MediaFile>& media, const QList<RecycleBinItem>& bin,
                                              const QList<ProjectFile>& projects, qint64 projectsVersion,
                                              qint64 largeFileThreshold) {
    // A project with parse trouble flags its files by path: that lookup is the GUI thread's.
    if (std::any_of(projects.cbegin(), projects.cend(), hasParseTrouble))
        return std::nullopt;
    PreparedSummary prepared;
    prepared.largeFileThreshold = largeFileThreshold;
    prepared.projectsVersion = projectsVersion;
    prepared.mediaCount = media.size();
    prepared.binCount = bin.size();
    prepared.summary.totalProjects = int(projects.size());
    prepared.summary.totalMediaFiles = int(media.size());
    prepared.rowFlags.reserve(size_t(media.size()));
    for (const MediaFile& file : media) {
        if (file.needsReview != (file.hasUnresolvedAELink || file.isFromDaVinciCSV))
            return std::nullopt;
        // Flags that follow another entry's usage: made with the list, on the GUI thread.
        if (file.characterAnimatorProject || CharacterAnimatorFolders::claimsItsFolder(file))
            return std::nullopt;
        count(prepared.summary, file);
        prepared.rowFlags.push_back(MediaFilterIndex::rowFlags(file, largeFileThreshold));
    }
    countBin(prepared.summary, bin);
    return prepared;
}

void ProjectManager::commitChange(ListChanges what, std::optional<PreparedSummary> prepared,
                                  const PreparedUsageRecount* recount) {
    if (what.testFlag(ListChange::entriesMerged))
        pruneOrphanedRecycleBinItems();
    if (what.testFlag(ListChange::usage)) {
        if (!recount || !finishPreparedUsageRecount(*recount))
            recomputeUsageCounts(); // summarises as well
        return;
    }
    if (what == ListChange::none)
        return;
    const bool holds =
        prepared && what == ListChange::entries && prepared->projectsVersion == m_projectsVersion &&
        prepared->largeFileThreshold == m_largeFileThreshold && prepared->mediaCount == m_mediaFiles.size() &&
        prepared->binCount == m_recycleBin.size();
    if (!holds) {
        updateSummary();
        return;
    }
    // As updateSummary(): the list written back (no review flag changes), then the counters.
    rewriteMediaFiles();
    m_filterIndex.setRowFlags(m_mediaContentVersion, m_largeFileThreshold, std::move(prepared->rowFlags));
    setSummary(prepared->summary);
    refreshVolumesNeedingAccess();
    m_lowerPaths.prune(m_mediaFiles, m_projects);
}

void ProjectManager::updateSummary() {
    summarize(true);
}

void ProjectManager::summarize(bool reviewFlags) {
    std::optional<ReviewSources> uncertain;
    if (reviewFlags)
        uncertain.emplace(m_projects, m_mediaFiles, m_lowerPaths);
    bool reviewChanged = false;
    AnalysisSummary s;
    s.totalProjects = int(m_projects.size());
    s.totalMediaFiles = int(m_mediaFiles.size());
    // Each pass over 400,000 records costs the window tens of milliseconds: the flags, the counters
    // and the filter's facts are taken in one.
    std::vector<quint8> rowFlags(size_t(m_mediaFiles.size()));
    for (qsizetype i = 0; i < m_mediaFiles.size(); ++i) {
        if (uncertain) {
            const MediaFile& before = std::as_const(m_mediaFiles)[i];
            const Review review = reviewOf(before, *uncertain, m_lowerPaths);
            if (review.differsFrom(before)) {
                review.applyTo(m_mediaFiles[i]);
                reviewChanged = true;
            }
        }
        const MediaFile& file = std::as_const(m_mediaFiles)[i];
        count(s, file);
        rowFlags[size_t(i)] = MediaFilterIndex::rowFlags(file, m_largeFileThreshold);
    }
    // The list is written back whole, also when no flag changed; only a changed flag changes its content.
    if (reviewChanged)
        bumpMediaFiles();
    else if (reviewFlags)
        rewriteMediaFiles();
    m_filterIndex.setRowFlags(m_mediaContentVersion, m_largeFileThreshold, std::move(rowFlags));
    countBin(s, m_recycleBin);
    setSummary(s);

    refreshVolumesNeedingAccess();
    m_lowerPaths.prune(m_mediaFiles, m_projects);
}

void ProjectManager::setNeedsReviewFlags(QList<MediaFile>& mediaFiles, const QList<ProjectFile>& projects,
                                         LowerPathCache& lowerPaths) {
    const ReviewSources uncertain(projects, mediaFiles, lowerPaths);
    for (qsizetype i = 0; i < mediaFiles.size(); ++i) {
        const MediaFile& file = std::as_const(mediaFiles)[i];
        const Review review = reviewOf(file, uncertain, lowerPaths);
        if (review.differsFrom(file))
            review.applyTo(mediaFiles[i]);
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
