#include "actions/PermanentDeletion.h"

#include "actions/RemovalRun.h"

namespace tarnwick {

QCoro::Task<ActionResult> PermanentDeletion::permanentlyDelete(ProjectManager& manager,
                                                               CleanupServices services) {
    return runRemoval(manager, std::move(services), RemovalMethod::deletePermanently);
}

} // namespace tarnwick
