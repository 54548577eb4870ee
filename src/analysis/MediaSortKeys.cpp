#include "analysis/MediaSortKeys.h"

#include "analysis/NameCollation.h"
#include "analysis/RowRadixSort.h"
#include "platform/TextKey.h"

#include <QCollator>
#include <QHash>

#include <algorithm>
#include <numeric>

namespace tarnwick {

namespace {

// Dense ranks of `n` values given by `less` (a strict weak order).
template <class Less> std::vector<quint32> ranksOf(qsizetype n, Less less) {
    std::vector<quint32> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), quint32(0));
    std::sort(order.begin(), order.end(), less);
    std::vector<quint32> ranks(static_cast<size_t>(n));
    quint32 rank = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && less(order[i - 1], order[i]))
            ++rank;
        ranks[order[i]] = rank;
    }
    return ranks;
}

std::vector<quint32> numberRanks(const QList<MediaFile>& files, MediaSortKey key) {
    std::vector<qint64> values;
    values.reserve(size_t(files.size()));
    for (const MediaFile& f : files)
        values.push_back(key == MediaSortKey::size ? f.size : f.usageCount);
    return ranksOf(files.size(), [&](quint32 a, quint32 b) { return values[a] < values[b]; });
}

// Texts collate once per distinct text (statuses, timelines and projects repeat across many files).
std::vector<quint32> textRanks(const QList<MediaFile>& files, MediaSortKey key, QCollator& collator) {
    QHash<QString, quint32> distinct;
    std::vector<QCollatorSortKey> keys;
    std::vector<quint32> textOfRow;
    textOfRow.reserve(size_t(files.size()));
    for (const MediaFile& f : files) {
        const QString value = text::nfc(sortText(f, key));
        auto found = distinct.constFind(value);
        if (found == distinct.cend()) {
            found = distinct.insert(value, quint32(keys.size()));
            keys.push_back(collator.sortKey(value));
        }
        textOfRow.push_back(found.value());
    }
    const std::vector<quint32> textRank =
        ranksOf(qsizetype(keys.size()), [&](quint32 a, quint32 b) { return keys[a].compare(keys[b]) < 0; });
    std::vector<quint32> ranks(textOfRow.size());
    for (size_t i = 0; i < textOfRow.size(); ++i)
        ranks[i] = textRank[textOfRow[i]];
    return ranks;
}

} // namespace

MediaSortKeys MediaSortKeys::make(const QList<MediaFile>& files) {
    MediaSortKeys keys;
    keys.m_size = files.size();
    QCollator collator = nameCollator(true);
    for (int k = 0; k < keyCount; ++k) {
        const auto key = MediaSortKey(k);
        keys.m_ranks[size_t(k)] = key == MediaSortKey::size || key == MediaSortKey::usageCount
                                      ? numberRanks(files, key)
                                      : textRanks(files, key, collator);
    }
    return keys;
}

QList<qsizetype> MediaSortKeys::sorted(const QList<qsizetype>& rows, const MediaSortOrder& order) const {
    if (order.isEmpty())
        return rows;
    std::vector<qsizetype> result(rows.cbegin(), rows.cend());
    for (auto comparator = order.crbegin(); comparator != order.crend(); ++comparator) {
        const quint32* ranks = m_ranks[size_t(comparator->key)].data();
        const bool ascending = comparator->ascending;
        radixSortRows<quint32>(result, [&](qsizetype row) { return radixKey(ranks[row], ascending); });
    }
    return QList<qsizetype>(result.cbegin(), result.cend());
}

} // namespace tarnwick
