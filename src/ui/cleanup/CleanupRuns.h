#pragma once

#include "ui/cleanup/CleanupRun.h"

#include <QUrl>

#include <memory>

namespace tarnwick {

class CleanupOperations;
class ProjectManager;

// The five clean-up runs over the window's manager and operations, which outlive them.
namespace CleanupRuns {

// `folder` is the destination of the two moves, unused by the others.
std::unique_ptr<CleanupRun> make(CleanupRunKind kind, ProjectManager& manager, CleanupOperations& operations,
                                 const QUrl& folder = {});

} // namespace CleanupRuns

} // namespace tarnwick
