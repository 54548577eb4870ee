#pragma once

#include "model/ImageSequence.h"
#include "readers/PrprojMarkerIndex.h"
#include "readers/PrprojStageResults.h"
#include "readers/PrprojTimelineScan.h"

#include <functional>
#include <string_view>

namespace tarnwick::prproj {

struct MediaScan {
    MediaTables tables;
    IdMap<QStringList> pathsByMediaUID;
    // Media the editor generates itself (black video, mattes, bars, leaders, adjustment layers):
    // no file behind them. Only blocks that name no path at all and are positively marked count.
    IdSet generatedMediaUIDs;
    // The editor's previews and caches named by Media blocks: only in pathsByMediaUID, so that a
    // timeline that really uses one still finds it; never media otherwise.
    QSet<QString> heldBackPaths;
    // Blocks marked <IsNumberedStills>true</IsNumberedStills>, in the video stream they name or in
    // themselves: a sequence of stills named by its first frame's path (as kept in the tables), with
    // the range its title gives, else as many frames as its stream runs.
    QList<ImageSequence> numberedStills;
};

// The Media blocks: every accepted media path with its title, identifier and relative path.
// `progress` gets the fraction of lines read, about a hundred times. With `threads` above one the
// lines are read in that many pieces at once (the result is the same).
MediaScan scanMediaBlocks(const MarkerIndex& index, const std::function<void(double)>& progress,
                          int threads = 1);

} // namespace tarnwick::prproj
