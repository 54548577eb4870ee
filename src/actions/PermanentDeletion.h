#pragma once

#include "actions/ActionResult.h"
#include "actions/CleanupServices.h"

#include <qcoro/qcorotask.h>

namespace tarnwick {

class ProjectManager;

// Delete Permanently: the same run as Move to Trash, removing each target from disk instead
// (an .RDC container with everything below it, never following symbolic links). The views show
// deleted, failed and errors; failedItems are what stayed in the bin.
class PermanentDeletion {
public:
    static QCoro::Task<ActionResult> permanentlyDelete(ProjectManager& manager,
                                                       CleanupServices services = {});
};

} // namespace tarnwick
