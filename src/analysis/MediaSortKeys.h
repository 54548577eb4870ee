#pragma once

#include "analysis/MediaSortComparator.h"
#include "model/MediaFile.h"

#include <QList>

#include <array>
#include <vector>

namespace tarnwick {

// Every row's rank in each sortable column of one version of the media list (equal values, equal
// ranks): made once per version, on any thread, so that a sort by any column is then a sort of
// small integers. Collating 100,000 names takes far longer than sorting them by rank.
class MediaSortKeys {
public:
    MediaSortKeys() = default;
    static MediaSortKeys make(const QList<MediaFile>& files);

    qsizetype size() const { return m_size; }
    // `rows` (indices of the list the keys were made from) in `order`'s sequence; ties keep their
    // sequence in `rows`.
    QList<qsizetype> sorted(const QList<qsizetype>& rows, const MediaSortOrder& order) const;

private:
    static constexpr int keyCount = int(MediaSortKey::projects) + 1;
    std::array<std::vector<quint32>, keyCount> m_ranks;
    qsizetype m_size = 0;
};

} // namespace tarnwick
