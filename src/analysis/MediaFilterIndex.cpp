#include "analysis/MediaFilterIndex.h"

#include "analysis/LowerPathCache.h"
#include "analysis/NameCollation.h"
#include "analysis/RowRadixSort.h"
#include "platform/MemoryRelease.h"
#include "platform/TextKey.h"

#include <QCollator>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <numeric>

namespace tarnwick {

namespace {

bool isOnDiskStatus(MediaFileStatus status) {
    return status == MediaFileStatus::online || status == MediaFileStatus::matching ||
           status == MediaFileStatus::transcoded;
}

// One column's values for the rows being sorted, made once per sort: collation keys for texts.
class SortColumn {
public:
    SortColumn(const MediaSortComparator& comparator, const QList<MediaFile>& files,
               const QList<qsizetype>& rows, QCollator& collator)
        : m_ascending(comparator.ascending) {
        if (comparator.key == MediaSortKey::size || comparator.key == MediaSortKey::usageCount) {
            m_numbers.reserve(size_t(rows.size()));
            for (qsizetype row : rows) {
                const MediaFile& f = files[row];
                m_numbers.push_back(comparator.key == MediaSortKey::size ? f.size : f.usageCount);
            }
            return;
        }
        m_texts.reserve(size_t(rows.size()));
        // Statuses, timelines and projects repeat across many files: one key per distinct text.
        const bool repeats = comparator.key == MediaSortKey::status ||
                             comparator.key == MediaSortKey::sequences ||
                             comparator.key == MediaSortKey::projects;
        QHash<QString, QCollatorSortKey> made;
        for (qsizetype row : rows) {
            const QString value = text::nfc(sortText(files[row], comparator.key));
            if (!repeats) {
                m_texts.push_back(collator.sortKey(value));
                continue;
            }
            auto found = made.constFind(value);
            if (found == made.cend())
                found = made.insert(value, collator.sortKey(value));
            m_texts.push_back(found.value());
        }
    }

    // a, b: positions in the rows the column was made for.
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

bool comparesNumbersOnly(const MediaSortOrder& order) {
    return std::all_of(order.cbegin(), order.cend(), [](const MediaSortComparator& c) {
        return c.key == MediaSortKey::size || c.key == MediaSortKey::usageCount;
    });
}

// A numbers-only order's keys, a column per comparator, indexed by row.
using NumberKeys = std::vector<std::vector<quint64>>;

NumberKeys numberKeys(const QList<MediaFile>& files, const MediaSortOrder& order) {
    NumberKeys keys;
    for (const MediaSortComparator& comparator : order) {
        std::vector<quint64>& column = keys.emplace_back();
        column.reserve(size_t(files.size()));
        const bool bySize = comparator.key == MediaSortKey::size;
        for (const MediaFile& f : files)
            column.push_back(radixKey(bySize ? f.size : qint64(f.usageCount), comparator.ascending));
    }
    return keys;
}

// Sizes and use counts: a radix sort, stable as the collating sort is.
QList<qsizetype> numberSortedRows(const QList<qsizetype>& rows, const NumberKeys& keys) {
    std::vector<qsizetype> sorted(rows.cbegin(), rows.cend());
    for (auto column = keys.crbegin(); column != keys.crend(); ++column)
        radixSortRows<quint64>(sorted, [&](qsizetype row) { return (*column)[size_t(row)]; });
    return QList<qsizetype>(sorted.cbegin(), sorted.cend());
}

// Whether `rows` is the sequence a stable sort by `keys` gives: an order made for the list before a
// change of statuses is then kept, not made again.
bool inNumberOrder(const QList<qsizetype>& rows, const NumberKeys& keys) {
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const size_t a = size_t(rows[i - 1]);
        const size_t b = size_t(rows[i]);
        int r = 0;
        for (const std::vector<quint64>& column : keys) {
            if (column[a] != column[b]) {
                r = column[a] < column[b] ? -1 : 1;
                break;
            }
        }
        if (r > 0 || (r == 0 && a > b))
            return false;
    }
    return true;
}

// `rows` of `files` in `order`'s sequence; ties keep their sequence in `rows`.
QList<qsizetype> collateRows(const QList<MediaFile>& files, const QList<qsizetype>& rows,
                             const MediaSortOrder& order) {
    if (order.isEmpty())
        return rows;
    if (comparesNumbersOnly(order))
        return numberSortedRows(rows, numberKeys(files, order));
    QCollator collator = nameCollator(true);
    std::vector<SortColumn> columns;
    columns.reserve(size_t(order.size()));
    for (const MediaSortComparator& comparator : order)
        columns.emplace_back(comparator, files, rows, collator);
    std::vector<qsizetype> positions(size_t(rows.size()));
    std::iota(positions.begin(), positions.end(), 0);
    std::stable_sort(positions.begin(), positions.end(), [&](qsizetype a, qsizetype b) {
        for (const SortColumn& column : columns) {
            if (const int r = column.compare(a, b); r != 0)
                return r < 0;
        }
        return false;
    });
    QList<qsizetype> sorted;
    sorted.reserve(rows.size());
    for (qsizetype position : positions)
        sorted.append(rows[position]);
    return sorted;
}

// Equal but for the search text.
bool sameSettingsButText(const FilterCacheKey& a, const FilterCacheKey& b) {
    FilterCacheKey other = b;
    other.filters.filterText = a.filters.filterText;
    return a == other;
}

constexpr qsizetype sortedOrdersKept = 3;

} // namespace

QList<qsizetype> MediaFilterIndex::sortedRows(const QList<MediaFile>& files, const MediaSortOrder& order) {
    QList<qsizetype> rows(files.size());
    std::iota(rows.begin(), rows.end(), qsizetype(0));
    return collateRows(files, rows, order);
}

QList<qsizetype> MediaFilterIndex::sortRows(const QList<MediaFile>& files, const QList<qsizetype>& rows,
                                            const MediaSortOrder& order) const {
    if (m_base.sortKeys)
        return m_base.sortKeys->sorted(rows, order);
    return collateRows(files, rows, order);
}

void MediaFilterIndex::setListKeys(qint64 version, ListKeys keys) {
    if (m_base.version == version && m_base.flags.size() == size_t(keys.sort->size())) {
        m_base.sortKeys = std::move(keys.sort);
        if (!m_base.search)
            m_base.search = std::move(keys.search);
        return;
    }
    m_pendingKeysVersion = version;
    m_pendingKeys = std::move(keys);
}

bool MediaFilterIndex::hasSortKeys(qint64 version) const {
    return (m_base.version == version && m_base.sortKeys) || m_pendingKeysVersion == version;
}

bool MediaFilterIndex::sortsCheaply(const FilterCacheKey& key, const MediaSortOrder& order,
                                    const Lists& lists) {
    if (comparesNumbersOnly(order) || hasSortKeys(lists.contentVersion))
        return true;
    prepareBase(lists);
    if (m_sortedKey && *m_sortedKey == key && m_sortedOrder == order)
        return true;
    return std::any_of(m_base.sorted.cbegin(), m_base.sorted.cend(),
                       [&](const auto& s) { return s.order == order; }) ||
           adoptPreviousOrder(order, lists.mediaFiles);
}

void MediaFilterIndex::prepareBase(const Lists& lists) {
    if (m_base.version == lists.contentVersion && m_base.largeFileThreshold == lists.largeFileThreshold &&
        m_base.flags.size() == size_t(lists.mediaFiles.size()))
        return;
    m_previousSorted = std::move(m_base.sorted);
    // The old version's keys and rows are megabytes in many blocks at 400,000 files.
    memory::releaseLater(std::exchange(m_base, Base{}));
    m_base.version = lists.contentVersion;
    m_base.largeFileThreshold = lists.largeFileThreshold;
    m_binVersion = -1;
    const qsizetype n = lists.mediaFiles.size();
    m_base.flags.resize(size_t(n));
    if (m_pendingKeysVersion == lists.contentVersion && m_pendingKeys.sort &&
        m_pendingKeys.sort->size() == n) {
        m_base.sortKeys = std::move(m_pendingKeys.sort);
        m_base.search = std::move(m_pendingKeys.search);
    }
    m_pendingKeys = {};
    m_pendingKeysVersion = -1;
    if (m_pendingFlagsVersion == lists.contentVersion &&
        m_pendingFlagsThreshold == lists.largeFileThreshold && m_pendingFlags.size() == size_t(n)) {
        m_base.flags = std::move(m_pendingFlags);
    } else {
        for (qsizetype i = 0; i < n; ++i)
            m_base.flags[size_t(i)] = rowFlags(lists.mediaFiles[i], lists.largeFileThreshold);
    }
    m_pendingFlags = {};
    m_pendingFlagsVersion = -1;
}

quint8 MediaFilterIndex::rowFlags(const MediaFile& f, qint64 largeFileThreshold) {
    quint8 flags = 0;
    if (f.status == MediaFileStatus::deleted || f.status == MediaFileStatus::moved)
        flags |= deletedOrMoved;
    if (f.usageCount > 0 || f.isAEFootage)
        flags |= used;
    if (isOnDiskStatus(f.status))
        flags |= onDisk;
    if (f.usageType == MediaUsageType::audioOnly)
        flags |= audioOnly;
    if (f.duplicateOfPath)
        flags |= duplicate;
    if (f.size >= largeFileThreshold)
        flags |= large;
    if (hasRelocationLine(f))
        flags |= relocationLine;
    return flags;
}

bool MediaFilterIndex::hasRelocationLine(const MediaFile& f) {
    return f.matchedPath || (f.status == MediaFileStatus::moved && f.movedToPath) ||
           (f.status == MediaFileStatus::transcoded && f.transcodedPath);
}

QList<int> MediaFilterIndex::relocationLinePositions(const QList<qsizetype>& rows, const Lists& lists) {
    prepareBase(lists);
    if (m_base.relocationLines < 0)
        m_base.relocationLines = std::count_if(m_base.flags.cbegin(), m_base.flags.cend(),
                                               [](quint8 flags) { return (flags & relocationLine) != 0; });
    QList<int> positions;
    if (m_base.relocationLines == 0)
        return positions;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (m_base.flags[size_t(rows[i])] & relocationLine)
            positions.append(int(i));
    }
    return positions;
}

void MediaFilterIndex::setRowFlags(qint64 version, qint64 largeFileThreshold, std::vector<quint8> flags) {
    if (m_base.version == version)
        return; // prepared already
    m_pendingFlagsVersion = version;
    m_pendingFlagsThreshold = largeFileThreshold;
    m_pendingFlags = std::move(flags);
}

std::vector<quint8> MediaFilterIndex::binnedRows(const QList<MediaFile>& media,
                                                 const QList<RecycleBinItem>& bin) {
    std::vector<quint8> rows(size_t(media.size()), 0);
    if (bin.isEmpty())
        return rows;
    QSet<QString> binPaths;
    binPaths.reserve(bin.size());
    for (const RecycleBinItem& item : bin)
        binPaths.insert(text::nfc(item.mediaFile.path));
    for (qsizetype i = 0; i < media.size(); ++i)
        rows[size_t(i)] = binPaths.contains(text::nfc(media[i].path)) ? 1 : 0;
    return rows;
}

void MediaFilterIndex::setBinnedRows(qint64 mediaVersion, qint64 binVersion, std::vector<quint8> rows) {
    m_pendingBinnedMedia = mediaVersion;
    m_pendingBinnedBin = binVersion;
    m_pendingBinned = std::move(rows);
}

void MediaFilterIndex::prepareBin(const FilterCacheKey& key, const Lists& lists) {
    if (m_binVersion == key.recycleBinVersion)
        return;
    m_binVersion = key.recycleBinVersion;
    const bool madeAhead = m_pendingBinnedMedia == lists.contentVersion &&
                           m_pendingBinnedBin == key.recycleBinVersion &&
                           m_pendingBinned.size() == size_t(lists.mediaFiles.size());
    const std::vector<quint8> rows =
        madeAhead ? std::move(m_pendingBinned) : binnedRows(lists.mediaFiles, lists.recycleBin);
    m_pendingBinned = {};
    m_pendingBinnedMedia = m_pendingBinnedBin = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        quint8& flags = m_base.flags[i];
        flags = rows[i] ? quint8(flags | binned) : quint8(flags & ~binned);
    }
}

void MediaFilterIndex::prepareSearchKeys(const Lists& lists) {
    if (!m_base.search)
        m_base.search = std::make_shared<const MediaSearchKeys>(MediaSearchKeys::make(lists.mediaFiles));
}

void MediaFilterIndex::prepareProjectRows(const Lists& lists) {
    if (m_base.hasProjectRows)
        return;
    for (qsizetype i = 0; i < lists.mediaFiles.size(); ++i) {
        const QStringList& names = lists.mediaFiles[i].projectNames;
        for (qsizetype k = 0; k < names.size(); ++k) {
            QList<qint32>& rows = m_base.rowsByProjectName[names[k]];
            if (rows.isEmpty() || rows.constLast() != qint32(i)) // a name listed twice counts once
                rows.append(qint32(i));
        }
    }
    m_base.hasProjectRows = true;
}

QList<qsizetype> MediaFilterIndex::filter(const FilterCacheKey& key, const Lists& lists) {
    const qsizetype n = lists.mediaFiles.size();
    const QString search =
        key.filters.filterText.isEmpty() ? QString() : LowerPathCache::lowerKey(key.filters.filterText);

    quint8 mustNot = binned;
    if (!key.filters.showDeleted)
        mustNot |= deletedOrMoved;
    if (key.filters.showOnlyUnused)
        mustNot |= used;
    quint8 must = 0;
    if (key.filters.showOnlyUsed)
        must |= used;
    if (key.filters.showOnlyOnline)
        must |= onDisk;
    if (key.filters.showOnlyAudioOnly)
        must |= audioOnly;
    if (key.filters.showDuplicates)
        must |= duplicate;
    if (key.filters.showLargeFilesOnly)
        must |= large;

    std::vector<quint8> inSelection;
    if (!key.filters.selectedProjectIDs.isEmpty()) {
        prepareProjectRows(lists);
        inSelection.assign(size_t(n), 0);
        QSet<QString> names;
        for (const ProjectFile& project : lists.projects) {
            if (key.filters.selectedProjectIDs.contains(project.id))
                names.insert(project.name);
        }
        for (const QString& name : std::as_const(names)) {
            for (qint32 row : m_base.rowsByProjectName.value(name))
                inSelection[size_t(row)] = 1;
        }
    }

    std::vector<quint8> folderHit;
    if (!search.isEmpty()) {
        prepareSearchKeys(lists);
        folderHit.resize(size_t(m_base.search->folders.size()));
        for (qsizetype k = 0; k < m_base.search->folders.size(); ++k)
            folderHit[size_t(k)] = m_base.search->folders[k].contains(search);
    }
    const MediaSearchKeys* keys = m_base.search.get();

    const auto keeps = [&](qsizetype i) {
        const quint8 flags = m_base.flags[size_t(i)];
        if ((flags & mustNot) != 0 || (flags & must) != must)
            return false;
        if (!inSelection.empty() && !inSelection[size_t(i)])
            return false;
        if (search.isEmpty())
            return true;
        if (folderHit[size_t(keys->folderOfRow[size_t(i)])])
            return true;
        const qsizetype start = keys->nameStart[size_t(i)];
        return QStringView(keys->names)
            .sliced(start, keys->nameStart[size_t(i) + 1] - start)
            .contains(search);
    };

    QList<qsizetype> rows;
    // Typing on: a search text containing the last one keeps a subset of the last rows.
    const bool refines = m_key && sameSettingsButText(*m_key, key) &&
                         search.contains(LowerPathCache::lowerKey(m_key->filters.filterText));
    if (refines) {
        rows.reserve(m_rows.size());
        for (qsizetype row : std::as_const(m_rows)) {
            if (keeps(row))
                rows.append(row);
        }
        return rows;
    }
    for (qsizetype i = 0; i < n; ++i) {
        if (keeps(i))
            rows.append(i);
    }
    return rows;
}

const QList<qsizetype>& MediaFilterIndex::filteredRows(const FilterCacheKey& key, const Lists& lists) {
    if (m_key && *m_key == key)
        return m_rows;
    prepareBase(lists);
    prepareBin(key, lists);
    QList<qsizetype> rows = filter(key, lists);
    m_rows = std::move(rows);
    m_key = key;
    return m_rows;
}

size_t MediaFilterIndex::sortedValuesDigest(const MediaSortOrder& order, const QList<MediaFile>& files) {
    size_t digest = ::qHash(qint64(files.size()));
    for (const MediaFile& file : files) {
        for (const MediaSortComparator& comparator : order) {
            switch (comparator.key) {
            case MediaSortKey::size:
                digest = qHashMulti(digest, file.size);
                break;
            case MediaSortKey::usageCount:
                digest = qHashMulti(digest, file.usageCount);
                break;
            default:
                digest = qHashMulti(digest, sortText(file, comparator.key));
                break;
            }
        }
    }
    return digest;
}

bool MediaFilterIndex::adoptPreviousOrder(const MediaSortOrder& order, const QList<MediaFile>& files) {
    // Numbers: sortedWhole() checks the old order against the keys it reads anyway.
    if (comparesNumbersOnly(order))
        return false;
    const auto previous = std::find_if(m_previousSorted.begin(), m_previousSorted.end(),
                                       [&](const Base::Sorted& s) { return s.order == order; });
    if (previous == m_previousSorted.end() || previous->rows.size() != files.size() || !previous->values)
        return false;
    if (previous->values != sortedValuesDigest(order, files))
        return false;
    m_base.sorted.prepend(std::move(*previous));
    m_previousSorted.erase(previous);
    if (m_base.sorted.size() > sortedOrdersKept)
        m_base.sorted.removeLast();
    return true;
}

const QList<qsizetype>& MediaFilterIndex::sortedWhole(const MediaSortOrder& order,
                                                      const QList<MediaFile>& files) {
    for (qsizetype i = 0; i < m_base.sorted.size(); ++i) {
        if (m_base.sorted[i].order == order) {
            if (i > 0)
                m_base.sorted.move(i, 0);
            return m_base.sorted.constFirst().rows;
        }
    }
    if (!m_base.sortKeys && adoptPreviousOrder(order, files))
        return m_base.sorted.constFirst().rows;
    if (m_base.sortKeys) {
        // Ranks make a later sort cheap: no digest to take this order over to the next version.
        QList<qsizetype> all(files.size());
        std::iota(all.begin(), all.end(), qsizetype(0));
        m_base.sorted.prepend({order, m_base.sortKeys->sorted(all, order), std::nullopt});
    } else if (comparesNumbersOnly(order)) {
        // The order the list had before its change stands when its sizes and counts did not move.
        const NumberKeys keys = numberKeys(files, order);
        const auto previous =
            std::find_if(m_previousSorted.begin(), m_previousSorted.end(),
                         [&](const auto& p) { return p.order == order && p.rows.size() == files.size(); });
        if (previous != m_previousSorted.end() && inNumberOrder(previous->rows, keys)) {
            m_base.sorted.prepend({order, std::move(previous->rows), std::nullopt});
            m_previousSorted.erase(previous);
        } else {
            QList<qsizetype> all(files.size());
            std::iota(all.begin(), all.end(), qsizetype(0));
            m_base.sorted.prepend({order, numberSortedRows(all, keys), std::nullopt});
        }
    } else {
        m_base.sorted.prepend({order, sortedRows(files, order), sortedValuesDigest(order, files)});
    }
    if (m_base.sorted.size() > sortedOrdersKept)
        m_base.sorted.removeLast();
    return m_base.sorted.constFirst().rows;
}

const QList<qsizetype>& MediaFilterIndex::sortedFilteredRows(const FilterCacheKey& key,
                                                             const MediaSortOrder& order,
                                                             const Lists& lists) {
    const QList<qsizetype>& rows = filteredRows(key, lists);
    if (m_sortedKey && *m_sortedKey == key && m_sortedOrder == order)
        return m_sortedRows;
    const qsizetype n = lists.mediaFiles.size();
    const bool wholeSorted = std::any_of(m_base.sorted.cbegin(), m_base.sorted.cend(),
                                         [&](const auto& s) { return s.order == order; }) ||
                             (!m_base.sortKeys && adoptPreviousOrder(order, lists.mediaFiles));
    if (order.isEmpty()) {
        m_sortedRows = rows;
    } else if (!wholeSorted && rows.size() * 8 < n && !m_base.sortedNarrow.contains(order)) {
        // A narrow filter right after a change of the list: sorting its few rows beats sorting the
        // whole list first. Once per order, so typing on does not sort again at every keystroke.
        m_sortedRows = sortRows(lists.mediaFiles, rows, order);
        m_base.sortedNarrow.append(order);
    } else {
        const QList<qsizetype>& whole = sortedWhole(order, lists.mediaFiles);
        if (rows.size() == n) {
            m_sortedRows = whole;
        } else {
            std::vector<quint8> kept(size_t(n), 0);
            for (qsizetype row : rows)
                kept[size_t(row)] = 1;
            QList<qsizetype> sorted;
            sorted.reserve(rows.size());
            for (qsizetype row : whole) {
                if (kept[size_t(row)])
                    sorted.append(row);
            }
            m_sortedRows = std::move(sorted);
        }
    }
    m_sortedKey = key;
    m_sortedOrder = order;
    return m_sortedRows;
}

} // namespace tarnwick
