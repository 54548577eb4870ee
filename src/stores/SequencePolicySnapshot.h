#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace tarnwick {

// The rules and overrides that apply to one project, with patterns already normalised.
struct SequencePolicySnapshot {
    QStringList protectPatterns;
    QStringList ignorePatterns;
    QHash<QString, bool> countedOverrides; // timeline key -> true: counted, false: ignored

    friend bool operator==(const SequencePolicySnapshot&, const SequencePolicySnapshot&) = default;
};

} // namespace tarnwick
