#pragma once

#include <QString>

#include <cstddef>
#include <optional>

namespace tarnwick {

enum class StorageType { local, network, dropbox, googleDrive, iCloud, oneDrive, unknown };

// The text value is also the display text.
QString text(StorageType value);
std::optional<StorageType> storageTypeFromText(const QString& text);
size_t qHash(StorageType value, size_t seed = 0);

} // namespace tarnwick
