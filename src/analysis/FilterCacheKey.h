#pragma once

#include <QSet>
#include <QString>
#include <QUuid>
#include <QtGlobal>

namespace tarnwick {

// Everything the filtered media list depends on: the three list versions and the filter settings.
struct FilterCacheKey {
    qint64 mediaFilesVersion = 0;
    qint64 recycleBinVersion = 0;
    qint64 projectsVersion = 0;
    QString filterText;
    bool showDeleted = false;
    bool showOnlyUnused = false;
    bool showOnlyUsed = false;
    bool showOnlyOnline = false;
    bool showOnlyAudioOnly = false;
    bool showDuplicates = false;
    bool showLargeFilesOnly = false;
    QSet<QUuid> selectedProjectIDs;

    friend bool operator==(const FilterCacheKey&, const FilterCacheKey&) = default;
};

} // namespace tarnwick
