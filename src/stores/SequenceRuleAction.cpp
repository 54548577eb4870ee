#include "stores/SequenceRuleAction.h"

namespace tarnwick {

QString text(SequenceRuleAction value) {
    switch (value) {
    case SequenceRuleAction::protect:
        return QStringLiteral("protect");
    case SequenceRuleAction::ignore:
        return QStringLiteral("ignore");
    }
    return {};
}

std::optional<SequenceRuleAction> sequenceRuleActionFromText(const QString& text) {
    for (SequenceRuleAction action : allSequenceRuleActions) {
        if (tarnwick::text(action) == text)
            return action;
    }
    return std::nullopt;
}

} // namespace tarnwick
