#pragma once

#include "model/AEPLinkStatus.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"

#include <QHash>
#include <QList>
#include <QString>

namespace tarnwick {

// The import's After Effects step until linked projects are parsed: no .aep among the media is
// resolved, so each is recorded as missing and the media its projects might use through it are
// flagged uncertain instead of silently counting as unused.
class AfterEffectsLinkFallback {
public:
    // A `missing` status for every media entry whose path extension is "aep" (letter case ignored).
    static QHash<QString, AEPLinkStatus> unresolvedLinks(const QList<MediaFile>& mediaFiles);

    // Sets `hasUnresolvedAELink` on the unused, non-After-Effects, non-.aep entries of every project
    // that lists a `missing` or `parseError` link. Returns the number of entries flagged.
    static int flagMediaOfProjectsWithMissingAEP(QList<MediaFile>& mediaFiles,
                                                 const QList<ProjectFile>& projects,
                                                 const QHash<QString, AEPLinkStatus>& linkStatuses);

    static bool isAfterEffectsProject(const QString& path);
};

} // namespace tarnwick
