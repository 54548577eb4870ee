#include "analysis/MediaRescanner.h"

namespace tarnwick {

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
