#pragma once

#include "model/MediaFile.h"

#include <QList>
#include <QString>

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

// The text a text column compares for `file` (empty for the number columns).
inline QString sortText(const MediaFile& file, MediaSortKey key) {
    switch (key) {
    case MediaSortKey::status:
        return text(file.status);
    case MediaSortKey::fileName:
        return file.fileName();
    case MediaSortKey::storage:
        return file.displayPath();
    case MediaSortKey::sequences:
        return file.sequenceNamesText();
    case MediaSortKey::projects:
        return file.projectNamesText();
    case MediaSortKey::size:
    case MediaSortKey::usageCount:
        break;
    }
    return {};
}

} // namespace tarnwick
