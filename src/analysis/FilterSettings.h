#pragma once

#include <QSet>
#include <QString>
#include <QUuid>

namespace tarnwick {

// What the media list shows: the search text, the filter flags and the projects chosen in the
// sidebar (none: every project), and whether a file counts as found under another extension.
struct FilterSettings {
    QString filterText;
    bool showOnlyUnused = false;
    bool showOnlyOnline = false;
    bool showOnlyAudioOnly = false;
    bool showDuplicates = false;
    bool showLargeFilesOnly = false;
    bool showOnlyUsed = false;
    bool showDeleted = false;
    bool ignoreFileExtension = false; // read by the status checks of the next rescan
    QSet<QUuid> selectedProjectIDs;

    friend bool operator==(const FilterSettings&, const FilterSettings&) = default;
};

} // namespace tarnwick
