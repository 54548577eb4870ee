#pragma once

#include <QString>

#include <cstddef>
#include <optional>

namespace tarnwick {

enum class MediaFileStatus {
    checking,
    online,
    matching,
    offline,
    networkOffline,
    needsAccess,
    inRecycleBin,
    deleted,
    moved,
    transcoded,
    error
};

// The text value is also the display text.
QString text(MediaFileStatus value);
std::optional<MediaFileStatus> mediaFileStatusFromText(const QString& text);
size_t qHash(MediaFileStatus value, size_t seed = 0);

} // namespace tarnwick
