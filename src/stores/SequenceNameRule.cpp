#include "stores/SequenceNameRule.h"

#include "platform/JsonForm.h"
#include "platform/TextKey.h"

#include <QHashFunctions>

namespace tarnwick {

QJsonObject SequenceNameRule::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("id"), json::fromUuid(id));
    o.insert(QStringLiteral("pattern"), pattern);
    o.insert(QStringLiteral("action"), text(action));
    return o;
}

std::optional<SequenceNameRule> SequenceNameRule::fromJson(const QJsonObject& o) {
    json::Fields fields(o);
    SequenceNameRule rule{fields.uuid(QStringLiteral("id")), fields.string(QStringLiteral("pattern")),
                          fields.choice(QStringLiteral("action"), &sequenceRuleActionFromText)};
    if (!fields.ok())
        return std::nullopt;
    return rule;
}

bool operator==(const SequenceNameRule& a, const SequenceNameRule& b) {
    return a.id == b.id && a.action == b.action && text::canonicalEquals(a.pattern, b.pattern);
}

size_t qHash(const SequenceNameRule& rule, size_t seed) {
    seed = qHashMulti(seed, rule.id, static_cast<int>(rule.action));
    return text::canonicalHash(rule.pattern, seed);
}

} // namespace tarnwick
