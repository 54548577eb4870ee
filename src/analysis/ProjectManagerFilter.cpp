#include "analysis/ProjectManager.h"

#include "analysis/NameCollation.h"
#include "platform/TextKey.h"

#include <QCollator>

#include <algorithm>
#include <numeric>
#include <variant>
#include <vector>

namespace tarnwick {

namespace {

bool isOnDiskStatus(MediaFileStatus status) {
    return status == MediaFileStatus::online || status == MediaFileStatus::matching ||
           status == MediaFileStatus::transcoded;
}

// One column's values for every row, made once per sort: collation keys for texts.
class SortColumn {
public:
    SortColumn(const MediaSortComparator& comparator, const QList<MediaFile>& files, QCollator& collator)
        : m_ascending(comparator.ascending) {
        const auto textOf = [&](const MediaFile& f) -> QString {
            switch (comparator.key) {
            case MediaSortKey::status:
                return text(f.status);
            case MediaSortKey::fileName:
                return f.fileName();
            case MediaSortKey::storage:
                return f.displayPath();
            case MediaSortKey::sequences:
                return f.sequenceNamesText();
            case MediaSortKey::projects:
                return f.projectNamesText();
            case MediaSortKey::size:
            case MediaSortKey::usageCount:
                break;
            }
            return {};
        };
        if (comparator.key == MediaSortKey::size || comparator.key == MediaSortKey::usageCount) {
            m_numbers.reserve(size_t(files.size()));
            for (const MediaFile& f : files)
                m_numbers.push_back(comparator.key == MediaSortKey::size ? f.size : f.usageCount);
            return;
        }
        m_texts.reserve(size_t(files.size()));
        for (const MediaFile& f : files)
            m_texts.push_back(collator.sortKey(text::nfc(textOf(f))));
    }

    int compare(qsizetype a, qsizetype b) const {
        int r = 0;
        if (!m_numbers.empty()) {
            const qint64 x = m_numbers[size_t(a)];
            const qint64 y = m_numbers[size_t(b)];
            r = x < y ? -1 : (x > y ? 1 : 0);
        } else {
            r = m_texts[size_t(a)].compare(m_texts[size_t(b)]);
        }
        return m_ascending ? r : -r;
    }

private:
    bool m_ascending = true;
    std::vector<qint64> m_numbers;
    std::vector<QCollatorSortKey> m_texts;
};

// The filter settings of one key with the sets they need, made once per pass.
class MediaFilterPass {
public:
    MediaFilterPass(const FilterCacheKey& key, const QList<RecycleBinItem>& bin,
                    const QList<ProjectFile>& projects, qint64 largeFileThreshold, LowerPathCache& lowerPaths)
        : m_key(key), m_largeFileThreshold(largeFileThreshold), m_lowerPaths(lowerPaths) {
        for (const RecycleBinItem& item : bin)
            m_binPaths.insert(text::nfc(item.mediaFile.path));
        for (const ProjectFile& project : projects) {
            if (key.selectedProjectIDs.contains(project.id))
                m_selectedNames.insert(project.name);
        }
        if (!key.filterText.isEmpty())
            m_search = LowerPathCache::lowerKey(key.filterText); // not trimmed: spaces count
    }

    bool keeps(const MediaFile& f) const {
        if (!m_binPaths.isEmpty() && m_binPaths.contains(text::nfc(f.path)))
            return false;
        if (!m_key.showDeleted &&
            (f.status == MediaFileStatus::deleted || f.status == MediaFileStatus::moved))
            return false;
        const bool used = f.usageCount > 0 || f.isAEFootage;
        if ((m_key.showOnlyUnused && used) || (m_key.showOnlyUsed && !used))
            return false;
        if (m_key.showOnlyOnline && !isOnDiskStatus(f.status))
            return false;
        if (m_key.showOnlyAudioOnly && f.usageType != MediaUsageType::audioOnly)
            return false;
        if (m_key.showDuplicates && !f.duplicateOfPath)
            return false;
        if (m_key.showLargeFilesOnly && f.size < m_largeFileThreshold)
            return false;
        if (!m_key.selectedProjectIDs.isEmpty() &&
            std::none_of(f.projectNames.cbegin(), f.projectNames.cend(),
                         [&](const QString& n) { return m_selectedNames.contains(n); }))
            return false;
        if (m_search.isEmpty())
            return true;
        const MediaPathKeys& keys = m_lowerPaths.keys(f);
        return keys.lowerFileName.contains(m_search) || keys.lowerFolder.contains(m_search);
    }

private:
    const FilterCacheKey& m_key;
    qint64 m_largeFileThreshold;
    LowerPathCache& m_lowerPaths;
    QSet<QString> m_binPaths;
    QSet<QString> m_selectedNames;
    QString m_search;
};

} // namespace

FilterCacheKey ProjectManager::currentFilterCacheKey() const {
    return FilterCacheKey{m_mediaFilesVersion, m_recycleBinVersion,  m_projectsVersion,
                          m_filterText,        m_showDeleted,        m_showOnlyUnused,
                          m_showOnlyUsed,      m_showOnlyOnline,     m_showOnlyAudioOnly,
                          m_showDuplicates,    m_showLargeFilesOnly, m_selectedProjectIDs};
}

const QList<MediaFile>& ProjectManager::filteredMediaFiles() {
    FilterCacheKey key = currentFilterCacheKey();
    if (m_filterCacheKey && *m_filterCacheKey == key)
        return m_filterCache;

    const MediaFilterPass pass(key, m_recycleBin, m_projects, m_largeFileThreshold, m_lowerPaths);
    std::vector<bool> kept(size_t(m_mediaFiles.size()));
    qsizetype keptCount = 0;
    for (qsizetype i = 0; i < m_mediaFiles.size(); ++i) {
        kept[size_t(i)] = pass.keeps(m_mediaFiles[i]);
        keptCount += kept[size_t(i)];
    }
    if (keptCount == m_mediaFiles.size()) {
        m_filterCache = m_mediaFiles; // shares the list: nothing filtered out
    } else {
        QList<MediaFile> result;
        result.reserve(keptCount);
        for (qsizetype i = 0; i < m_mediaFiles.size(); ++i) {
            if (kept[size_t(i)])
                result.append(m_mediaFiles[i]);
        }
        m_filterCache = std::move(result);
    }
    m_filterCacheKey = std::move(key);
    return m_filterCache;
}

const QList<MediaFile>& ProjectManager::sortedFilteredMediaFiles(const MediaSortOrder& order) {
    const QList<MediaFile>& filtered = filteredMediaFiles();
    if (m_sortCacheKey && m_filterCacheKey && *m_sortCacheKey == *m_filterCacheKey &&
        m_sortCacheOrder == order)
        return m_sortCache;
    if (order.isEmpty()) {
        m_sortCache = filtered;
    } else {
        QCollator collator = nameCollator(true);
        std::vector<SortColumn> columns;
        columns.reserve(size_t(order.size()));
        for (const MediaSortComparator& comparator : order)
            columns.emplace_back(comparator, filtered, collator);
        std::vector<qsizetype> rows(size_t(filtered.size()));
        std::iota(rows.begin(), rows.end(), 0);
        std::stable_sort(rows.begin(), rows.end(), [&](qsizetype a, qsizetype b) {
            for (const SortColumn& column : columns) {
                if (const int r = column.compare(a, b); r != 0)
                    return r < 0;
            }
            return false;
        });
        QList<MediaFile> sorted;
        sorted.reserve(filtered.size());
        for (qsizetype row : rows)
            sorted.append(filtered[row]);
        m_sortCache = std::move(sorted);
    }
    m_sortCacheKey = m_filterCacheKey;
    m_sortCacheOrder = order;
    return m_sortCache;
}

} // namespace tarnwick
