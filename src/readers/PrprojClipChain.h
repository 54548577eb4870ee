#pragma once

#include "readers/PrprojMarkerIndex.h"
#include "readers/PrprojStageResults.h"
#include "readers/PrprojTimelineScan.h"

namespace tarnwick::prproj {

// Timeline sub-clips to their master clips, with usage counts and per-timeline attribution.
MasterClipMapping mapSubClipsToMasterClips(const TimelineClips& clips, const MarkerIndex& index);

// Master clip -> clips -> media sources -> Media objects: the media paths behind each master clip.
QHash<QString, QSet<QString>> resolveMasterClipMedia(const MarkerIndex& index,
                                                     const IdMap<QSet<QString>>& mediaPathsByMediaUID);

} // namespace tarnwick::prproj
