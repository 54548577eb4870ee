#include "stores/CountingReviewHook.h"

#include "platform/Preferences.h"

#include <algorithm>

namespace tarnwick {

CountingReviewHook::CountingReviewHook(Preferences& preferences) : m_preferences(preferences) {}

void CountingReviewHook::recordSuccess(AuditAction action) {
    if (action == AuditAction::restored)
        return;
    m_preferences.increment(successCountKey);
}

void CountingReviewHook::recordSuccesses(const QList<AuditAction>& actions) {
    const auto counted = std::count_if(actions.cbegin(), actions.cend(),
                                       [](AuditAction action) { return action != AuditAction::restored; });
    if (counted > 0)
        m_preferences.increment(successCountKey, counted);
}

} // namespace tarnwick
