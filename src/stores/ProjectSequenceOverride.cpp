#include "stores/ProjectSequenceOverride.h"

#include "model/EnumText.h"

namespace tarnwick {

namespace {

constexpr auto texts = std::to_array<EnumText<ProjectSequenceOverride>>({
    {ProjectSequenceOverride::counted, u"counted"},
    {ProjectSequenceOverride::ignored, u"ignored"},
});

} // namespace

QString text(ProjectSequenceOverride value) {
    return enumText(texts, value);
}

std::optional<ProjectSequenceOverride> projectSequenceOverrideFromText(const QString& text) {
    return enumFromText(texts, text, EnumTextMatch::exact);
}

} // namespace tarnwick
