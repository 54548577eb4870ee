#include "model/MediaUsageType.h"

#include "model/EnumText.h"

#include <QHash>

namespace tarnwick {

namespace {

constexpr auto texts = std::to_array<EnumText<MediaUsageType>>({
    {MediaUsageType::unused, u"Unused"},
    {MediaUsageType::videoAndAudio, u"Video + Audio"},
    {MediaUsageType::videoOnly, u"Video Only"},
    {MediaUsageType::audioOnly, u"Audio Only"},
    {MediaUsageType::usedInAfterEffects, u"Used in AE"},
});

} // namespace

QString text(MediaUsageType value) {
    return enumText(texts, value, {MediaUsageType::usedInAfterEffects});
}

std::optional<MediaUsageType> mediaUsageTypeFromText(const QString& text) {
    return enumFromText(texts, text, EnumTextMatch::canonical);
}

size_t qHash(MediaUsageType value, size_t seed) {
    return ::qHash(text(value), seed);
}

} // namespace tarnwick
