#include "model/MediaUsageType.h"

#include "platform/TextKey.h"

#include <QHash>

#include <array>

namespace tarnwick {

QString text(MediaUsageType value) {
    switch (value) {
    case MediaUsageType::unused:
        return QStringLiteral("Unused");
    case MediaUsageType::videoAndAudio:
        return QStringLiteral("Video + Audio");
    case MediaUsageType::videoOnly:
        return QStringLiteral("Video Only");
    case MediaUsageType::audioOnly:
        return QStringLiteral("Audio Only");
    case MediaUsageType::usedInAfterEffects:
        break;
    }
    return QStringLiteral("Used in AE");
}

std::optional<MediaUsageType> mediaUsageTypeFromText(const QString& text) {
    static constexpr std::array all{MediaUsageType::unused, MediaUsageType::videoAndAudio,
                                    MediaUsageType::videoOnly, MediaUsageType::audioOnly,
                                    MediaUsageType::usedInAfterEffects};
    for (MediaUsageType value : all) {
        if (text::canonicalEquals(tarnwick::text(value), text))
            return value;
    }
    return std::nullopt;
}

size_t qHash(MediaUsageType value, size_t seed) {
    return ::qHash(text(value), seed);
}

} // namespace tarnwick
