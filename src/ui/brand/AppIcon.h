#pragma once

#include <QIcon>

namespace tarnwick {

// The application's icon ("AppIcon" among the resources, data/tarnwick.svg in the repository),
// drawn at the usual icon sizes. Null when the resource cannot be read.
QIcon appIcon();

} // namespace tarnwick
