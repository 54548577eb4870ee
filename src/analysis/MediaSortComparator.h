#pragma once

#include <QList>

namespace tarnwick {

// The media table's sortable columns and what each compares.
enum class MediaSortKey {
    status,   // display text of the status
    fileName, // last path component
    size,     // bytes
    usageCount,
    storage,   // displayPath()
    sequences, // sequenceNamesText()
    projects,  // projectNamesText()
};

// One column of a sort order; texts compare as a file manager sorts names (case-insensitive,
// digit runs by value), numbers by value.
struct MediaSortComparator {
    MediaSortKey key = MediaSortKey::size;
    bool ascending = true;

    friend bool operator==(const MediaSortComparator&, const MediaSortComparator&) = default;
};

using MediaSortOrder = QList<MediaSortComparator>;

} // namespace tarnwick
