#include "model/StorageType.h"

#include "model/EnumText.h"

#include <QHash>

namespace tarnwick {

namespace {

constexpr auto texts = std::to_array<EnumText<StorageType>>({
    {StorageType::local, u"Local"},
    {StorageType::network, u"Network"},
    {StorageType::dropbox, u"Dropbox"},
    {StorageType::googleDrive, u"Google Drive"},
    {StorageType::iCloud, u"iCloud"},
    {StorageType::oneDrive, u"OneDrive"},
    {StorageType::unknown, u"Unknown"},
});

} // namespace

QString text(StorageType value) {
    return enumText(texts, value, {StorageType::unknown});
}

std::optional<StorageType> storageTypeFromText(const QString& text) {
    return enumFromText(texts, text, EnumTextMatch::canonical);
}

size_t qHash(StorageType value, size_t seed) {
    return ::qHash(text(value), seed);
}

} // namespace tarnwick
