#include "analysis/ProjectManager.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace tarnwick {

FilterCacheKey ProjectManager::currentFilterCacheKey() const {
    return FilterCacheKey{m_mediaFilesVersion, m_recycleBinVersion, m_projectsVersion, m_filters};
}

MediaRows ProjectManager::filteredMediaRows() {
    const MediaFilterIndex::Lists lists{m_mediaFiles, m_recycleBin, m_projects, m_largeFileThreshold};
    return MediaRows(m_mediaFiles, m_filterIndex.filteredRows(currentFilterCacheKey(), lists));
}

MediaRows ProjectManager::sortedFilteredMediaRows(const MediaSortOrder& order) {
    const MediaFilterIndex::Lists lists{m_mediaFiles, m_recycleBin, m_projects, m_largeFileThreshold};
    return MediaRows(m_mediaFiles, m_filterIndex.sortedFilteredRows(currentFilterCacheKey(), order, lists));
}

bool ProjectManager::canSortNow(const MediaSortOrder& order) {
    if (m_mediaFiles.size() < m_services.backgroundSortRows)
        return true;
    const MediaFilterIndex::Lists lists{m_mediaFiles, m_recycleBin, m_projects, m_largeFileThreshold};
    return m_filterIndex.sortsCheaply(currentFilterCacheKey(), order, lists);
}

// Once per turn, after the list's last change in it.
void ProjectManager::scheduleSortKeys() {
    if (m_sortKeysScheduled)
        return;
    m_sortKeysScheduled = true;
    QMetaObject::invokeMethod(this, &ProjectManager::makeSortKeys, Qt::QueuedConnection);
}

void ProjectManager::makeSortKeys() {
    m_sortKeysScheduled = false;
    if (m_mediaFiles.size() < m_services.backgroundSortRows)
        return;
    QPointer<ProjectManager> self(this);
    (void)QtConcurrent::run(&m_sortPool, [self, files = m_mediaFiles, version = m_mediaFilesVersion,
                                          hook = m_services.beforeSortKeys] {
        if (hook)
            hook();
        MediaFilterIndex::ListKeys keys{
            std::make_shared<const MediaSortKeys>(MediaSortKeys::make(files)),
            std::make_shared<const MediaSearchKeys>(MediaSearchKeys::make(files))};
        QMetaObject::invokeMethod(
            self,
            [self, keys = std::move(keys), version]() mutable {
                if (!self || version != self->m_mediaFilesVersion)
                    return;
                self->m_filterIndex.setListKeys(version, std::move(keys));
                Q_EMIT self->sortKeysReady();
            },
            Qt::QueuedConnection);
    });
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
