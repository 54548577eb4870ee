#pragma once

#include "analysis/ProjectManager.h"

namespace tarnwick {

// The manager's own steps, for the tests of those steps: callers reach them only through an edit.
class ProjectManagerSteps {
public:
    // False, doing nothing, when the projects or the policy changed since it was prepared.
    static bool finishPreparedUsageRecount(ProjectManager& manager,
                                           const ProjectManager::PreparedUsageRecount& prepared) {
        // Empty on purpose: the step is the follow-up.
        ProjectManager::Edit edit(manager, ProjectManager::ListChange::none);
        return manager.finishPreparedUsageRecount(prepared);
    }
    // A summary of the test's own, whatever the lists say (what the views show for it).
    static void setSummary(ProjectManager& manager, const AnalysisSummary& summary) {
        manager.setSummary(summary);
    }
};

} // namespace tarnwick
