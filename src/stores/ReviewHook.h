#pragma once

#include "model/AuditAction.h"

#include <QList>

namespace tarnwick {

// What the audit log tells the review prompt after each stored entry. The application shell
// installs its full prompt; until then the audit log uses CountingReviewHook.
class ReviewHook {
public:
    virtual ~ReviewHook() = default;
    // Called on the main thread right after the entry was stored; must not block or throw.
    virtual void recordSuccess(AuditAction action) = 0;
    // The entries of one clean-up operation, stored with one write; by default one call each.
    virtual void recordSuccesses(const QList<AuditAction>& actions) {
        for (const AuditAction action : actions)
            recordSuccess(action);
    }
};

} // namespace tarnwick
