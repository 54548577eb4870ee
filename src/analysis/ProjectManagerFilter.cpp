#include "analysis/ProjectManager.h"

#include "platform/MemoryRelease.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace tarnwick {

FilterCacheKey ProjectManager::currentFilterCacheKey() const {
    return FilterCacheKey{m_mediaFilesVersion, m_recycleBinVersion, m_projectsVersion, m_filters};
}

MediaRows ProjectManager::filteredMediaRows() {
    const MediaFilterIndex::Lists lists{m_mediaFiles, m_recycleBin, m_projects, m_largeFileThreshold,
                                        m_mediaContentVersion};
    return MediaRows(m_mediaFiles, m_filterIndex.filteredRows(currentFilterCacheKey(), lists));
}

void ProjectManager::setBinnedRows(std::vector<quint8> rows) {
    m_filterIndex.setBinnedRows(m_mediaContentVersion, m_recycleBinVersion, std::move(rows));
}

MediaRows ProjectManager::sortedFilteredMediaRows(const MediaSortOrder& order) {
    const MediaFilterIndex::Lists lists{m_mediaFiles, m_recycleBin, m_projects, m_largeFileThreshold,
                                        m_mediaContentVersion};
    return MediaRows(m_mediaFiles, m_filterIndex.sortedFilteredRows(currentFilterCacheKey(), order, lists));
}

QList<int> ProjectManager::relocationLinePositions(const MediaRows& rows) {
    if (rows.source().constData() == m_mediaFiles.constData() &&
        rows.source().size() == m_mediaFiles.size()) {
        const MediaFilterIndex::Lists lists{m_mediaFiles, m_recycleBin, m_projects, m_largeFileThreshold,
                                            m_mediaContentVersion};
        return m_filterIndex.relocationLinePositions(rows.sourceRows(), lists);
    }
    // Rows of an earlier list: the index's flags are the current list's.
    QList<int> positions;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (MediaFilterIndex::hasRelocationLine(rows[i]))
            positions.append(int(i));
    }
    return positions;
}

bool ProjectManager::canSortNow(const MediaSortOrder& order) {
    if (m_mediaFiles.size() < m_services.backgroundSortRows)
        return true;
    const MediaFilterIndex::Lists lists{m_mediaFiles, m_recycleBin, m_projects, m_largeFileThreshold,
                                        m_mediaContentVersion};
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
    // One making at a time, of the newest list when it starts: a job queued behind it would hold a
    // version of a million records for keys nobody reads, and the list's next change would copy it.
    // An import replaces the list several times: its keys wait for the list it ends with.
    if (m_sortKeysRunning || m_progress.isAnalyzing || m_filterIndex.hasSortKeys(m_mediaContentVersion))
        return;
    m_sortKeysRunning = true;
    QPointer<ProjectManager> self(this);
    (void)QtConcurrent::run(&m_sortPool, [self, files = m_mediaFiles, version = m_mediaContentVersion,
                                          hook = m_services.beforeSortKeys]() mutable {
        if (hook)
            hook();
        MediaFilterIndex::ListKeys keys{
            std::make_shared<const MediaSortKeys>(MediaSortKeys::make(files)),
            std::make_shared<const MediaSearchKeys>(MediaSearchKeys::make(files))};
        // Before the GUI thread sees the keys: it may change the list then, and this copy may be the
        // last of all its records (after Clear All), which are freed with the other large releases.
        memory::releaseLater(std::exchange(files, {}));
        QMetaObject::invokeMethod(
            self,
            [self, keys = std::move(keys), version]() mutable {
                if (!self || version != self->m_mediaContentVersion) {
                    // Keys of a list gone: megabytes, not freed on the GUI thread.
                    memory::releaseLater(std::move(keys));
                    if (self) {
                        self->m_sortKeysRunning = false;
                        self->makeSortKeys(); // the list changed while these were made
                    }
                    return;
                }
                self->m_sortKeysRunning = false;
                self->m_filterIndex.setListKeys(version, std::move(keys));
                // The collation's scratch of a large list was freed on the worker's arena.
                memory::trimLater();
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
