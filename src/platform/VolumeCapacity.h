#pragma once

#include <QString>

#include <optional>

namespace tarnwick {

// Bytes an unprivileged process may still write on the volume holding `folder` (statvfs f_bavail);
// absent when the volume does not say.
std::optional<qint64> availableCapacity(const QString& folder);

} // namespace tarnwick
