#pragma once

#include "actions/CleanupServices.h"
#include "analysis/OperationGate.h"
#include "model/MediaFile.h"
#include "model/RecycleBinItem.h"

#include <QList>
#include <QPointer>

#include <functional>
#include <optional>

namespace tarnwick {

class ProjectManager;

// The bin operations of the window: staging, restoring selected items, restoring all. Nothing on
// disk changes. Each runs on the GUI thread; with more than a couple of thousand files, what
// changes is worked out on a worker and applied in one step when it is back (the call then returns
// false and `done` runs once it happened). While another operation holds the
// manager's gate, the request is queued (ProjectManager::runWhenIdle) and runs when that operation
// ends: the call then returns false, and `done` runs only once the request really happened. Views
// run DeleteSafetyCheck first and add only what the user confirmed.
class RecycleBin {
public:
    explicit RecycleBin(ProjectManager& manager, CleanupServices services = {});

    // Skips files already staged, not on disk ("Skipping offline file: ") and in a protected folder
    // ("Skipping protected file: "). A queued staging also skips files that became used, or went
    // off disk, while it waited.
    bool addToRecycleBin(const QList<MediaFile>& files, std::function<void()> done = {});
    // Restores the given items (entry back to online) with one audit entry each. A queued restore
    // restores those of the items still staged when it runs.
    bool removeFromRecycleBin(const QList<RecycleBinItem>& items, std::function<void()> done = {});
    bool restoreAllFromRecycleBin(std::function<void()> done = {});

private:
    void stage(const QList<MediaFile>& files);
    void restore(const QList<RecycleBinItem>& items);
    // Many items: the restore is worked out on a worker and applied when it is back.
    void restoreOnWorker(std::optional<OperationGate::Scope> scope, QList<RecycleBinItem> items,
                         std::function<void()> done);

    QPointer<ProjectManager> m_manager;
    CleanupServices m_services;
};

} // namespace tarnwick
