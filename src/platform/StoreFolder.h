#pragma once

#include <QString>

namespace tarnwick {

// The folder the stores live in: $XDG_DATA_HOME/Tarnwick, created with its parents on first use.
QString storeFolder();
// Tests point the store folder elsewhere; an empty path restores the default.
void setStoreFolderOverride(const QString& folder);

} // namespace tarnwick
