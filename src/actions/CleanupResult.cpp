#include "actions/CleanupResult.h"

namespace tarnwick {

CleanupResult CleanupResult::of(CleanupRunKind kind, ActionResult action) {
    if (action.refused)
        return refused(kind, action.errors.join(QLatin1Char('\n')));
    CleanupResult result;
    result.kind = kind;
    result.action = std::move(action);
    return result;
}

CleanupResult CleanupResult::of(TranscodeCompleteResult transcode) {
    CleanupResult result;
    result.kind = CleanupRunKind::transcode;
    result.transcode = std::move(transcode);
    return result;
}

CleanupResult CleanupResult::refused(CleanupRunKind kind, QString reason) {
    CleanupResult result;
    result.kind = kind;
    result.refusal = std::move(reason);
    return result;
}

} // namespace tarnwick
