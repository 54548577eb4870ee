#pragma once

#include "actions/CleanupServices.h"
#include "model/MediaFile.h"
#include "model/RecycleBinItem.h"

#include <QList>
#include <QPointer>

namespace tarnwick {

class ProjectManager;

// The bin operations of the window: staging, restoring selected items, restoring all. Nothing on
// disk changes. Each runs synchronously on the GUI thread and refuses (false, logged) while another
// operation holds the manager's gate. Views run DeleteSafetyCheck first and add only what the user
// confirmed.
class RecycleBin {
public:
    explicit RecycleBin(ProjectManager& manager, CleanupServices services = {});

    // Skips files already staged, not on disk ("Skipping offline file: ") and in a protected folder
    // ("Skipping protected file: ").
    bool addToRecycleBin(const QList<MediaFile>& files);
    // Restores the given items (entry back to online) with one audit entry each.
    bool removeFromRecycleBin(const QList<RecycleBinItem>& items);
    bool restoreAllFromRecycleBin();

private:
    QPointer<ProjectManager> m_manager;
    CleanupServices m_services;
};

} // namespace tarnwick
