#include "analysis/EntryCombiner.h"
#include "analysis/MediaRescanner.h"
#include "analysis/ProjectImporter.h"
#include "analysis/ProjectManager.h"

namespace tarnwick {

QCoro::Task<void> ProjectManager::analyzeProjects(QList<QUrl> urls) {
    return ProjectImporter::analyzeProjects(*this, std::move(urls));
}

QCoro::Task<bool> ProjectManager::rescanAll() {
    return MediaRescanner::rescanAll(*this);
}

QCoro::Task<bool> ProjectManager::combineEntries(QList<MediaFile> selection) {
    return EntryCombiner::combineEntries(*this, std::move(selection));
}

} // namespace tarnwick
