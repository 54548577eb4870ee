#pragma once

#include "actions/ActionResult.h"
#include "model/TranscodeCompleteResult.h"

#include <QString>

#include <optional>

namespace tarnwick {

// The clean-up runs the window starts, each over the recycle bin but the move of the unused files.
enum class CleanupRunKind { trash, deletion, binMove, unusedMove, transcode };

// The one outcome of a clean-up run, for the window's result sheets.
struct CleanupResult {
    CleanupRunKind kind = CleanupRunKind::trash;
    // Set when the run touched no file (another run of its kind was asked for, the manager refused
    // it, a folder that would leave every file where it is): why, in the user's words.
    std::optional<QString> refusal;
    ActionResult action;               // Trash, deletion and moves
    TranscodeCompleteResult transcode; // the transcode run

    bool isRefused() const { return refusal.has_value(); }
    // A deletion (Trash or permanent) rather than a move or a transcode.
    bool isDeletion() const { return kind == CleanupRunKind::trash || kind == CleanupRunKind::deletion; }
    // An action's report; one the action refused becomes a refusal with the action's reason.
    static CleanupResult of(CleanupRunKind kind, ActionResult action);
    static CleanupResult of(TranscodeCompleteResult transcode);
    static CleanupResult refused(CleanupRunKind kind, QString reason);
};

} // namespace tarnwick
