#pragma once

#include "actions/ActionResult.h"
#include "actions/CleanupServices.h"

#include <qcoro/qcorotask.h>

namespace tarnwick {

class ProjectManager;

// Move to Trash: every staged file goes to the freedesktop.org Trash of its own volume, in bin
// order, under the removal rules; what fails stays in the bin. Waits for the manager's operation
// gate and holds it for the run; the disk work runs on a worker thread, so the window stays live.
// The result feeds the Trash failure sheet (failedItems not empty) or the deletion result.
class TrashAction {
public:
    static QCoro::Task<ActionResult> moveToTrash(ProjectManager& manager, CleanupServices services = {});
};

} // namespace tarnwick
