#pragma once

#include "model/MediaFile.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace tarnwick {

// "/Volumes/<name>" of a path under the volume folder, when that volume is mounted and is not the
// start-up volume's link to "/".
std::optional<QString> volumeNeedingAccess(const QString& path);

// The file URL of "/Volumes/<name>" for a path under the volume folder, else of its parent folder.
QUrl volumeRoot(const QString& path);

// Volume roots (as paths) of the entries whose status is needsAccess: no repeats, plain text order.
// The manager's refreshVolumesNeedingAccess() turns them into URLs and prompts for the new ones.
QStringList volumeRootsNeedingAccess(const QList<MediaFile>& mediaFiles);

} // namespace tarnwick
