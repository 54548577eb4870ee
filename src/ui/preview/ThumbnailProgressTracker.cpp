#include "ui/preview/ThumbnailProgressTracker.h"

namespace tarnwick {

ThumbnailProgressTracker& ThumbnailProgressTracker::shared() {
    static ThumbnailProgressTracker tracker;
    return tracker;
}

void ThumbnailProgressTracker::setActiveOperations(int value) {
    if (value == m_active)
        return;
    m_active = value;
    Q_EMIT activeOperationsChanged(value);
}

} // namespace tarnwick
