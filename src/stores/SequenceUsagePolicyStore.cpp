#include "stores/SequenceUsagePolicyStore.h"

#include "platform/JsonForm.h"
#include "platform/PathText.h"
#include "platform/Preferences.h"
#include "platform/TextKey.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace tarnwick {

const QString SequenceUsagePolicyStore::storageKey = QStringLiteral("sequenceUsagePolicy.v1");
const QString SequenceUsagePolicyStore::builtInProtectPattern = QStringLiteral("final");

namespace {

SequenceNameRule builtInRule() {
    return SequenceNameRule{QUuid::createUuid(), SequenceUsagePolicyStore::builtInProtectPattern,
                            SequenceRuleAction::protect};
}

bool containsAny(const QString& name, const QStringList& patterns) {
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const QString& pattern) { return name.contains(pattern); });
}

std::optional<SequenceUsagePolicyStore::OverrideMap> decodeOverrides(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    SequenceUsagePolicyStore::OverrideMap overrides;
    const QJsonObject projects = value.toObject();
    for (auto project = projects.begin(); project != projects.end(); ++project) {
        if (!project.value().isObject())
            return std::nullopt;
        QHash<QString, ProjectSequenceOverride> timelines;
        const QJsonObject entries = project.value().toObject();
        for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
            const auto verdict = entry.value().isString()
                                     ? projectSequenceOverrideFromText(entry.value().toString())
                                     : std::nullopt;
            if (!verdict)
                return std::nullopt;
            timelines.insert(text::nfc(entry.key()), *verdict);
        }
        overrides.insert(text::nfc(project.key()), timelines);
    }
    return overrides;
}

} // namespace

QByteArray SequenceUsagePolicyStore::State::encode() const {
    QJsonArray ruleArray;
    for (const SequenceNameRule& rule : rules)
        ruleArray.append(rule.toJson());
    QJsonObject overrideObject;
    for (auto project = overrides.begin(); project != overrides.end(); ++project) {
        QJsonObject timelines;
        for (auto entry = project.value().begin(); entry != project.value().end(); ++entry)
            timelines.insert(entry.key(), text(entry.value()));
        overrideObject.insert(project.key(), timelines);
    }
    QJsonObject root;
    root.insert(QStringLiteral("rules"), ruleArray);
    root.insert(QStringLiteral("overrides"), overrideObject);
    return json::encode(root);
}

std::optional<SequenceUsagePolicyStore::State>
SequenceUsagePolicyStore::State::decode(const QByteArray& bytes) {
    const auto document = json::decode(bytes);
    if (!document || !document->isObject())
        return std::nullopt;
    const QJsonObject root = document->object();
    const QJsonValue ruleValue = root.value(QStringLiteral("rules"));
    if (!ruleValue.isArray())
        return std::nullopt;
    State state;
    for (const QJsonValue& item : ruleValue.toArray()) {
        const auto rule = item.isObject() ? SequenceNameRule::fromJson(item.toObject()) : std::nullopt;
        if (!rule)
            return std::nullopt;
        state.rules.append(*rule);
    }
    auto overrides = decodeOverrides(root.value(QStringLiteral("overrides")));
    if (!overrides)
        return std::nullopt;
    state.overrides = std::move(*overrides);
    return state;
}

SequenceUsagePolicyStore& SequenceUsagePolicyStore::shared() {
    static SequenceUsagePolicyStore store(Preferences::shared());
    return store;
}

SequenceUsagePolicyStore::SequenceUsagePolicyStore(Preferences& defaults) : m_defaults(defaults) {
    const auto stored = m_defaults.bytes(storageKey);
    const auto state = stored ? State::decode(*stored) : std::nullopt;
    if (state) {
        m_rules = state->rules;
        m_overrides = state->overrides;
    } else {
        m_rules = {builtInRule()};
    }
    if (std::none_of(m_rules.begin(), m_rules.end(), &SequenceUsagePolicyStore::isBuiltInProtectRule))
        m_rules.append(builtInRule());
}

void SequenceUsagePolicyStore::save() {
    m_defaults.setValue(storageKey, State{m_rules, m_overrides}.encode());
}

bool SequenceUsagePolicyStore::addRule(const QString& pattern, SequenceRuleAction action) {
    const QString trimmed = pattern.trimmed();
    const QString normalized = normalizedName(trimmed);
    if (normalized.isEmpty())
        return false;
    for (const SequenceNameRule& rule : std::as_const(m_rules)) {
        if (normalizedName(rule.pattern) != normalized)
            continue;
        if (rule.action == action)
            return false;
        if (action == SequenceRuleAction::ignore && rule.action == SequenceRuleAction::protect)
            return false;
    }
    m_rules.removeIf([&](const SequenceNameRule& rule) {
        return rule.action == SequenceRuleAction::ignore && normalizedName(rule.pattern) == normalized;
    });
    m_rules.append(SequenceNameRule{QUuid::createUuid(), trimmed, action});
    sortRules();
    save();
    return true;
}

void SequenceUsagePolicyStore::removeRule(const QUuid& id) {
    for (const SequenceNameRule& rule : std::as_const(m_rules)) {
        if (rule.id == id && isBuiltInProtectRule(rule))
            return;
    }
    m_rules.removeIf([&](const SequenceNameRule& rule) { return rule.id == id; });
    save();
}

bool SequenceUsagePolicyStore::isBuiltInProtectRule(const SequenceNameRule& rule) {
    return rule.action == SequenceRuleAction::protect &&
           normalizedName(rule.pattern) == normalizedName(builtInProtectPattern);
}

SequencePolicySnapshot SequenceUsagePolicyStore::snapshot(const QUrl& projectURL) const {
    SequencePolicySnapshot result;
    for (const SequenceNameRule& rule : m_rules) {
        const QString normalized = normalizedName(rule.pattern);
        if (normalized.isEmpty())
            continue;
        (rule.action == SequenceRuleAction::protect ? result.protectPatterns : result.ignorePatterns)
            .append(normalized);
    }
    const auto project = m_overrides.constFind(projectKey(projectURL));
    if (project != m_overrides.cend()) {
        for (auto entry = project->begin(); entry != project->end(); ++entry)
            result.countedOverrides.insert(entry.key(), entry.value() == ProjectSequenceOverride::counted);
    }
    return result;
}

SequenceUsageDecision SequenceUsagePolicyStore::decision(const QString& sequenceID, const QString& name,
                                                         const SequencePolicySnapshot& snapshot) {
    return decisionForNormalizedName(sequenceID, normalizedName(name), snapshot);
}

SequenceUsageDecision
SequenceUsagePolicyStore::decisionForNormalizedName(const QString& sequenceID, const QString& normalized,
                                                    const SequencePolicySnapshot& snapshot) {
    if (!normalized.isEmpty() && containsAny(normalized, snapshot.protectPatterns))
        return SequenceUsageDecision::protected_;
    if (!snapshot.countedOverrides.isEmpty()) {
        auto found = snapshot.countedOverrides.constFind(sequenceKey(sequenceID));
        if (found == snapshot.countedOverrides.cend())
            found = snapshot.countedOverrides.constFind(normalized);
        if (found != snapshot.countedOverrides.cend())
            return found.value() ? SequenceUsageDecision::counted : SequenceUsageDecision::ignored;
    }
    if (normalized.isEmpty())
        return SequenceUsageDecision::counted;
    if (containsAny(normalized, snapshot.ignorePatterns))
        return SequenceUsageDecision::ignored;
    return SequenceUsageDecision::counted;
}

void SequenceUsagePolicyStore::setOverride(bool counted, const QString& sequenceID, const QUrl& projectURL) {
    m_overrides[projectKey(projectURL)].insert(sequenceKey(sequenceID),
                                               counted ? ProjectSequenceOverride::counted
                                                       : ProjectSequenceOverride::ignored);
    save();
}

void SequenceUsagePolicyStore::clearOverride(const QString& sequenceID, const QUrl& projectURL) {
    const QString key = projectKey(projectURL);
    auto project = m_overrides.find(key);
    if (project != m_overrides.end()) {
        project->remove(sequenceKey(sequenceID));
        if (project->isEmpty())
            m_overrides.erase(project);
    }
    save();
}

QString SequenceUsagePolicyStore::normalizedName(const QString& name) {
    // Decompose, drop the combining marks, then fold case without consulting the locale: a Turkish
    // locale must not turn "FINAL" into a dotless "fınal" that escapes the built-in rule.
    const QString decomposed = name.trimmed().normalized(QString::NormalizationForm_D);
    QString stripped;
    stripped.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            stripped.append(c);
    }
    return text::nfc(text::lowered(stripped.toCaseFolded()));
}

QString SequenceUsagePolicyStore::projectKey(const QUrl& projectURL) {
    const QString path = projectURL.isLocalFile() ? projectURL.toLocalFile() : projectURL.path();
    return text::nfc(text::lowered(path::resolvingSymlinksInPath(path)));
}

QString SequenceUsagePolicyStore::sequenceKey(const QString& sequenceID) {
    return text::nfc(QStringLiteral("id:") + text::lowered(sequenceID.trimmed()));
}

void SequenceUsagePolicyStore::sortRules() {
    std::stable_sort(m_rules.begin(), m_rules.end(),
                     [](const SequenceNameRule& a, const SequenceNameRule& b) {
                         const int byAction = QString::compare(text(a.action), text(b.action));
                         if (byAction != 0)
                             return byAction < 0;
                         return text::localizedCaseInsensitiveCompare(a.pattern, b.pattern) < 0;
                     });
}

} // namespace tarnwick
