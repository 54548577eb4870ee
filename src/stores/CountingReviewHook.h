#pragma once

#include "stores/ReviewHook.h"

#include <QString>

namespace tarnwick {

class Preferences;

// Counts successful clean-up actions in the preference "review.successCount"; restores are not
// counted. The full review prompt builds on the same count.
class CountingReviewHook : public ReviewHook {
public:
    static inline const QString successCountKey = QStringLiteral("review.successCount");

    explicit CountingReviewHook(Preferences& preferences);
    void recordSuccess(AuditAction action) override;
    // One preference write for the whole operation.
    void recordSuccesses(const QList<AuditAction>& actions) override;

private:
    Preferences& m_preferences;
};

} // namespace tarnwick
