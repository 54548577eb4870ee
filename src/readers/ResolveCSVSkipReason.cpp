#include "readers/ResolveCSVSkipReason.h"

#include "model/EnumText.h"

namespace tarnwick {

namespace {

constexpr auto texts = std::to_array<EnumText<ResolveCSVSkipReason>>({
    {ResolveCSVSkipReason::emptyFileName, u"emptyFileName"},
    {ResolveCSVSkipReason::emptyDirectory, u"emptyDirectory"},
    {ResolveCSVSkipReason::notMediaFile, u"notMediaFile"},
});

} // namespace

QString text(ResolveCSVSkipReason reason) {
    return enumText(texts, reason);
}

std::optional<ResolveCSVSkipReason> resolveCSVSkipReasonFromText(const QString& value) {
    return enumFromText(texts, value, EnumTextMatch::exact);
}

} // namespace tarnwick
