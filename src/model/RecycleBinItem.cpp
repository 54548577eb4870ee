#include "model/RecycleBinItem.h"

namespace tarnwick {

bool useGrewSinceStaged(const MediaFile& staged, const MediaFile& live) {
    if (live.usageCount < 1 && !live.isAEFootage)
        return false;
    if (live.usageCount > staged.usageCount || (live.isAEFootage && !staged.isAEFootage))
        return true;
    // Project names also list files a project does not use; the timelines name real use.
    for (const QString& timeline : live.sequenceNames) {
        if (!staged.sequenceNames.contains(timeline))
            return true;
    }
    return false;
}

} // namespace tarnwick
