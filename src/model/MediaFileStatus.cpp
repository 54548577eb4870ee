#include "model/MediaFileStatus.h"

#include "platform/TextKey.h"

#include <QHash>

#include <array>

namespace tarnwick {

QString text(MediaFileStatus value) {
    switch (value) {
    case MediaFileStatus::checking:
        return QStringLiteral("Checking...");
    case MediaFileStatus::online:
        return QStringLiteral("Online");
    case MediaFileStatus::matching:
        return QStringLiteral("Matching");
    case MediaFileStatus::offline:
        return QStringLiteral("Offline");
    case MediaFileStatus::networkOffline:
        return QStringLiteral("Network Offline");
    case MediaFileStatus::needsAccess:
        return QStringLiteral("Needs Access");
    case MediaFileStatus::inRecycleBin:
        return QStringLiteral("In Virtual Recycle Bin");
    case MediaFileStatus::deleted:
        return QStringLiteral("Deleted");
    case MediaFileStatus::moved:
        return QStringLiteral("Moved");
    case MediaFileStatus::transcoded:
        return QStringLiteral("Transcoded");
    case MediaFileStatus::error:
        break;
    }
    return QStringLiteral("Error");
}

std::optional<MediaFileStatus> mediaFileStatusFromText(const QString& text) {
    static constexpr std::array all{
        MediaFileStatus::checking,     MediaFileStatus::online,         MediaFileStatus::matching,
        MediaFileStatus::offline,      MediaFileStatus::networkOffline, MediaFileStatus::needsAccess,
        MediaFileStatus::inRecycleBin, MediaFileStatus::deleted,        MediaFileStatus::moved,
        MediaFileStatus::transcoded,   MediaFileStatus::error};
    for (MediaFileStatus value : all) {
        if (text::canonicalEquals(tarnwick::text(value), text))
            return value;
    }
    return std::nullopt;
}

size_t qHash(MediaFileStatus value, size_t seed) {
    return ::qHash(text(value), seed);
}

} // namespace tarnwick
