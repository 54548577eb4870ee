#include "analysis/ProjectManager.h"

namespace tarnwick {

FilterCacheKey ProjectManager::currentFilterCacheKey() const {
    return FilterCacheKey{m_mediaFilesVersion, m_recycleBinVersion, m_projectsVersion, m_filters};
}

MediaRows ProjectManager::filteredMediaRows() {
    const MediaFilterIndex::Lists lists{m_mediaFiles, m_recycleBin, m_projects, m_largeFileThreshold};
    return MediaRows(m_mediaFiles, m_filterIndex.filteredRows(currentFilterCacheKey(), lists, m_lowerPaths));
}

MediaRows ProjectManager::sortedFilteredMediaRows(const MediaSortOrder& order) {
    const MediaFilterIndex::Lists lists{m_mediaFiles, m_recycleBin, m_projects, m_largeFileThreshold};
    return MediaRows(m_mediaFiles,
                     m_filterIndex.sortedFilteredRows(currentFilterCacheKey(), order, lists, m_lowerPaths));
}

const QList<MediaFile>& ProjectManager::filteredMediaFiles() {
    FilterCacheKey key = currentFilterCacheKey();
    if (m_filterCacheKey && *m_filterCacheKey == key)
        return m_filterCache;
    m_filterCache = filteredMediaRows().toList();
    m_filterCacheKey = std::move(key);
    return m_filterCache;
}

} // namespace tarnwick
