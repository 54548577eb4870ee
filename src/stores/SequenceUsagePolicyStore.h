#pragma once

#include "stores/ProjectSequenceOverride.h"
#include "stores/SequenceNameRule.h"
#include "stores/SequencePolicySnapshot.h"
#include "stores/SequenceUsageDecision.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace tarnwick {

class Preferences;

// The timeline usage rules: protect/ignore name rules for every project plus manual overrides per
// project timeline, kept in the preferences under "sequenceUsagePolicy.v1" and saved at once.
// GUI thread only.
class SequenceUsagePolicyStore {
public:
    using OverrideMap = QHash<QString, QHash<QString, ProjectSequenceOverride>>;

    // The persisted form: {"rules": [...], "overrides": {projectKey: {timelineKey: text}}}.
    struct State {
        QList<SequenceNameRule> rules;
        OverrideMap overrides;

        QByteArray encode() const;
        // Both keys required; an unknown action or override text makes the whole value unreadable.
        static std::optional<State> decode(const QByteArray& bytes);
    };

    static const QString storageKey;            // "sequenceUsagePolicy.v1"
    static const QString builtInProtectPattern; // "final"

    // On the user's preferences, made on first use.
    static SequenceUsagePolicyStore& shared();

    explicit SequenceUsagePolicyStore(Preferences& defaults);
    SequenceUsagePolicyStore(const SequenceUsagePolicyStore&) = delete;
    SequenceUsagePolicyStore& operator=(const SequenceUsagePolicyStore&) = delete;

    const QList<SequenceNameRule>& rules() const { return m_rules; }
    const OverrideMap& overrides() const { return m_overrides; }

    void save();
    // False, changing nothing, for an empty pattern, a duplicate, or ignoring a protected pattern.
    bool addRule(const QString& pattern, SequenceRuleAction action);
    // The built-in protect rule is never removed.
    void removeRule(const QUuid& id);
    static bool isBuiltInProtectRule(const SequenceNameRule& rule);

    SequencePolicySnapshot snapshot(const QUrl& projectURL) const;
    static SequenceUsageDecision decision(const QString& sequenceID, const QString& name,
                                          const SequencePolicySnapshot& snapshot);
    // Same as decision(), for a name already normalised (callers that decide many times).
    static SequenceUsageDecision decisionForNormalizedName(const QString& sequenceID,
                                                           const QString& normalizedName,
                                                           const SequencePolicySnapshot& snapshot);

    void setOverride(bool counted, const QString& sequenceID, const QUrl& projectURL);
    void clearOverride(const QString& sequenceID, const QUrl& projectURL);

    // Trimmed, case- and diacritic-folded, lower-cased; independent of the current locale.
    static QString normalizedName(const QString& name);
    // The project file's path, standardized with symbolic links resolved, lower-cased.
    static QString projectKey(const QUrl& projectURL);
    // "id:" + the identifier trimmed and lower-cased.
    static QString sequenceKey(const QString& sequenceID);

private:
    void sortRules();

    Preferences& m_defaults;
    QList<SequenceNameRule> m_rules;
    OverrideMap m_overrides;
};

} // namespace tarnwick
