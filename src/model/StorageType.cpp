#include "model/StorageType.h"

#include "platform/TextKey.h"

#include <QHash>

#include <array>

namespace tarnwick {

QString text(StorageType value) {
    switch (value) {
    case StorageType::local:
        return QStringLiteral("Local");
    case StorageType::network:
        return QStringLiteral("Network");
    case StorageType::dropbox:
        return QStringLiteral("Dropbox");
    case StorageType::googleDrive:
        return QStringLiteral("Google Drive");
    case StorageType::iCloud:
        return QStringLiteral("iCloud");
    case StorageType::oneDrive:
        return QStringLiteral("OneDrive");
    case StorageType::unknown:
        break;
    }
    return QStringLiteral("Unknown");
}

std::optional<StorageType> storageTypeFromText(const QString& text) {
    static constexpr std::array all{StorageType::local,       StorageType::network, StorageType::dropbox,
                                    StorageType::googleDrive, StorageType::iCloud,  StorageType::oneDrive,
                                    StorageType::unknown};
    for (StorageType value : all) {
        if (text::canonicalEquals(tarnwick::text(value), text))
            return value;
    }
    return std::nullopt;
}

size_t qHash(StorageType value, size_t seed) {
    return ::qHash(text(value), seed);
}

} // namespace tarnwick
