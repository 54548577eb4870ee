#pragma once

#include "stores/SequenceNameRule.h"

#include <QHash>
#include <QList>
#include <QUuid>
#include <QtGlobal>

namespace tarnwick {

// The timeline usage policy as the views show it: the store's name rules, a revision counted up on
// every change of the policy (a recount prepared under an older one is refused), and each
// project's used-file count under it.
struct UsagePolicyState {
    QList<SequenceNameRule> sequenceRules;
    qint64 sequencePolicyRevision = 0;
    QHash<QUuid, int> effectiveUsedCountByProjectID;

    friend bool operator==(const UsagePolicyState&, const UsagePolicyState&) = default;
};

} // namespace tarnwick
