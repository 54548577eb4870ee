#include "model/MediaFileStatus.h"

#include "model/EnumText.h"

#include <QHash>

namespace tarnwick {

namespace {

constexpr auto texts = std::to_array<EnumText<MediaFileStatus>>({
    {MediaFileStatus::checking, u"Checking..."},
    {MediaFileStatus::online, u"Online"},
    {MediaFileStatus::matching, u"Matching"},
    {MediaFileStatus::offline, u"Offline"},
    {MediaFileStatus::networkOffline, u"Network Offline"},
    {MediaFileStatus::needsAccess, u"Needs Access"},
    {MediaFileStatus::inRecycleBin, u"In Virtual Recycle Bin"},
    {MediaFileStatus::deleted, u"Deleted"},
    {MediaFileStatus::moved, u"Moved"},
    {MediaFileStatus::transcoded, u"Transcoded"},
    {MediaFileStatus::error, u"Error"},
});

} // namespace

QString text(MediaFileStatus value) {
    return enumText(texts, value, {MediaFileStatus::error});
}

std::optional<MediaFileStatus> mediaFileStatusFromText(const QString& text) {
    return enumFromText(texts, text, EnumTextMatch::canonical);
}

size_t qHash(MediaFileStatus value, size_t seed) {
    return ::qHash(text(value), seed);
}

} // namespace tarnwick
