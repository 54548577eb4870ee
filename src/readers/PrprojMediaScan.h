#pragma once

#include "readers/PrprojMarkerIndex.h"
#include "readers/PrprojStageResults.h"

#include <functional>
#include <string_view>
#include <unordered_map>

namespace tarnwick::prproj {

struct MediaScan {
    MediaTables tables;
    std::unordered_map<std::string_view, QStringList> pathsByMediaUID;
};

// The Media blocks: every accepted media path with its title, identifier and relative path.
// `progress` gets the fraction of lines read, about a hundred times. With `threads` above one the
// lines are read in that many pieces at once (the result is the same).
MediaScan scanMediaBlocks(const MarkerIndex& index, const std::function<void(double)>& progress,
                          int threads = 1);

} // namespace tarnwick::prproj
