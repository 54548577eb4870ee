#pragma once

#include "stores/SequenceRuleAction.h"

#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// A protect or ignore rule on timeline names, applied in every project.
struct SequenceNameRule {
    QUuid id = QUuid::createUuid();
    QString pattern; // as entered, trimmed; matching uses its normalised form
    SequenceRuleAction action = SequenceRuleAction::protect;

    // {"id": upper-case UUID, "pattern": text, "action": "protect" | "ignore"}; all three required.
    QJsonObject toJson() const;
    static std::optional<SequenceNameRule> fromJson(const QJsonObject& o);

    friend bool operator==(const SequenceNameRule& a, const SequenceNameRule& b);
};

size_t qHash(const SequenceNameRule& rule, size_t seed = 0);

} // namespace tarnwick
