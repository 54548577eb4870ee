#include "actions/TrashAction.h"

#include "actions/RemovalRun.h"

namespace tarnwick {

QCoro::Task<ActionResult> TrashAction::moveToTrash(ProjectManager& manager, CleanupServices services) {
    return runRemoval(manager, std::move(services), RemovalMethod::trash);
}

} // namespace tarnwick
