#include "stores/SequenceRuleAction.h"

#include "model/EnumText.h"

namespace tarnwick {

namespace {

constexpr auto texts = std::to_array<EnumText<SequenceRuleAction>>({
    {SequenceRuleAction::protect, u"protect"},
    {SequenceRuleAction::ignore, u"ignore"},
});

} // namespace

QString text(SequenceRuleAction value) {
    return enumText(texts, value);
}

std::optional<SequenceRuleAction> sequenceRuleActionFromText(const QString& text) {
    return enumFromText(texts, text, EnumTextMatch::exact);
}

} // namespace tarnwick
