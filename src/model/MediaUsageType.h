#pragma once

#include <QString>

#include <cstddef>
#include <optional>

namespace tarnwick {

enum class MediaUsageType { unused, videoAndAudio, videoOnly, audioOnly, usedInAfterEffects };

// The text value is also the display text.
QString text(MediaUsageType value);
std::optional<MediaUsageType> mediaUsageTypeFromText(const QString& text);
size_t qHash(MediaUsageType value, size_t seed = 0);

} // namespace tarnwick
