#pragma once

#include "actions/ActionResult.h"
#include "actions/CleanupRun.h"
#include "actions/CleanupServices.h"
#include "actions/RemovalPass.h"

#include <QString>

#include <qcoro/qcorotask.h>

namespace tarnwick {

class ProjectManager;

// The run shared by Move to Trash and permanent deletion: decide per staged file on the GUI
// thread (usage, containers, proxies in use), touch the disk on a worker in bin order, writing each
// file's record to the journal as it goes, then apply statuses and the bin and merge the records
// (audit entries, trace files, statistics) on the GUI thread.
// Waits for the manager's operation gate and holds it for the run; the disk work runs on a worker
// thread, so the window stays live. failedItems are what stayed in the bin.
QCoro::Task<ActionResult> runRemoval(ProjectManager& manager, CleanupServices services, RemovalMethod method);

// Move to Trash or Delete Permanently as the clean-up runner holds it; it reports only its end.
class RemovalRun : public CleanupRun {
public:
    RemovalRun(ProjectManager& manager, RemovalMethod method, QString description,
               CleanupServices services = {});

protected:
    QCoro::Task<CleanupResult> work() override;

private:
    const RemovalMethod m_method;
    const CleanupServices m_services;
};

} // namespace tarnwick
