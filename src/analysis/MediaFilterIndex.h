#pragma once

#include "analysis/FilterCacheKey.h"
#include "analysis/MediaSearchKeys.h"
#include "analysis/MediaSortComparator.h"
#include "analysis/MediaSortKeys.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"
#include "model/RecycleBinItem.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace tarnwick {

// The filtered and sorted rows of the media list, as indices into it. What does not depend on the
// filter settings is made once per version of the lists: the facts each filter tests, packed per
// row; the search keys; the bin membership; and per sort order the whole list sorted once. A filter
// change is then one pass over small records, and a sorted result is the filtered subsequence of
// the sorted whole list (the same as sorting the filtered rows, ties included, as the sort is
// stable). GUI thread only.
class MediaFilterIndex {
public:
    struct Lists {
        const QList<MediaFile>& mediaFiles;
        const QList<RecycleBinItem>& recycleBin;
        const QList<ProjectFile>& projects;
        qint64 largeFileThreshold = 0;
        // Moves when the media list's content changes (the key's version also moves when it is
        // only written back): what the index makes per list is kept by this one.
        qint64 contentVersion = 0;
    };

    // The rows `key` keeps, in list order. `key` carries the lists' versions; `lists` must be the
    // lists of those versions. Versions of the media list below are `Lists::contentVersion`.
    const QList<qsizetype>& filteredRows(const FilterCacheKey& key, const Lists& lists);
    // The same rows in `order`'s sequence; ties keep list order.
    const QList<qsizetype>& sortedFilteredRows(const FilterCacheKey& key, const MediaSortOrder& order,
                                               const Lists& lists);

    // Every row of `files` in `order`'s sequence (stable), collation keys made once per column.
    static QList<qsizetype> sortedRows(const QList<MediaFile>& files, const MediaSortOrder& order);

    // The keys made on a worker for the media list of `version`; kept until the list changes.
    struct ListKeys {
        std::shared_ptr<const MediaSortKeys> sort;
        std::shared_ptr<const MediaSearchKeys> search;
    };
    void setListKeys(qint64 version, ListKeys keys);
    bool hasSortKeys(qint64 version) const;

    // Per row of `media`, 1 when an item of `bin` holds its path (compared in NFC). Any thread.
    static std::vector<quint8> binnedRows(const QList<MediaFile>& media, const QList<RecycleBinItem>& bin);
    // binnedRows() made on a worker for the lists of these versions: the bin pass takes them
    // instead of hashing every path here.
    void setBinnedRows(qint64 mediaVersion, qint64 binVersion, std::vector<quint8> rows);
    // The facts the filters test of one row (all but the bin's), as the index packs them. Any thread.
    static quint8 rowFlags(const MediaFile& file, qint64 largeFileThreshold);
    // Whether the file's row names where the file is now (a match, a move, the transcoded file): a
    // line more under its name in the table. Any thread.
    static bool hasRelocationLine(const MediaFile& file);
    // The positions among `rows` (rows of the lists' media list) whose file hasRelocationLine(), in
    // order: from the row flags, so a list without such files is never passed over again.
    QList<int> relocationLinePositions(const QList<qsizetype>& rows, const Lists& lists);
    // rowFlags() of every row of the list of `version`, made by a pass the manager makes anyway:
    // the index takes them instead of passing over the list again.
    void setRowFlags(qint64 version, qint64 largeFileThreshold, std::vector<quint8> flags);
    // Whether `order` can be applied to the list of `key` without collating its texts here: it
    // compares numbers only, its keys are made, or the list was sorted by it already.
    bool sortsCheaply(const FilterCacheKey& key, const MediaSortOrder& order, const Lists& lists);

private:
    // Per media-list version.
    struct Base {
        qint64 version = -1;
        qint64 largeFileThreshold = 0;
        std::vector<quint8> flags;      // Flag bits per row
        qsizetype relocationLines = -1; // rows flagged `relocationLine`; -1: not counted yet
        // Search keys: from the worker, or made here on a search before they are back.
        std::shared_ptr<const MediaSearchKeys> search;
        // Rows listing each project name, made on the first project selection.
        bool hasProjectRows = false;
        QHash<QString, QList<qint32>> rowsByProjectName;
        // Whole list sorted per order (the few orders used lately), with a digest of the values
        // each was sorted by (see sortedValuesDigest).
        struct Sorted {
            MediaSortOrder order;
            QList<qsizetype> rows;
            std::optional<size_t> values;
        };
        QList<Sorted> sorted;
        // Orders a narrow filter's rows were sorted by on their own; the next read sorts the whole list.
        QList<MediaSortOrder> sortedNarrow;
        std::shared_ptr<const MediaSortKeys> sortKeys;
    };
    enum Flag : quint8 {
        deletedOrMoved = 1 << 0,
        used = 1 << 1,
        onDisk = 1 << 2,
        audioOnly = 1 << 3,
        duplicate = 1 << 4,
        large = 1 << 5,
        binned = 1 << 6,
        relocationLine = 1 << 7,
    };

    void prepareBase(const Lists& lists);
    void prepareBin(const FilterCacheKey& key, const Lists& lists);
    void prepareSearchKeys(const Lists& lists);
    void prepareProjectRows(const Lists& lists);
    const QList<qsizetype>& sortedWhole(const MediaSortOrder& order, const QList<MediaFile>& files);
    // A whole-list order of the list's previous version is still right when every row's values for
    // that order are unchanged (a change of statuses leaves the order by name as it was): taken over
    // instead of sorting 100,000 rows again. True when it was.
    bool adoptPreviousOrder(const MediaSortOrder& order, const QList<MediaFile>& files);
    // The values `order` compares, of every row in list order, folded into one digest.
    static size_t sortedValuesDigest(const MediaSortOrder& order, const QList<MediaFile>& files);
    QList<qsizetype> filter(const FilterCacheKey& key, const Lists& lists);
    QList<qsizetype> sortRows(const QList<MediaFile>& files, const QList<qsizetype>& rows,
                              const MediaSortOrder& order) const;

    Base m_base;
    QList<Base::Sorted> m_previousSorted; // of the list's previous version
    qint64 m_binVersion = -1;             // the bin version the `binned` flags were set for
    // Keys that came back before the list's version was prepared here.
    qint64 m_pendingKeysVersion = -1;
    ListKeys m_pendingKeys;
    // Bin membership that came from a worker, for these versions.
    qint64 m_pendingBinnedMedia = -1;
    qint64 m_pendingBinnedBin = -1;
    std::vector<quint8> m_pendingBinned;
    // Row flags that came from the manager's summary pass, for this version and threshold.
    qint64 m_pendingFlagsVersion = -1;
    qint64 m_pendingFlagsThreshold = 0;
    std::vector<quint8> m_pendingFlags;
    std::optional<FilterCacheKey> m_key;
    QList<qsizetype> m_rows;
    std::optional<FilterCacheKey> m_sortedKey;
    MediaSortOrder m_sortedOrder;
    QList<qsizetype> m_sortedRows;
};

} // namespace tarnwick
