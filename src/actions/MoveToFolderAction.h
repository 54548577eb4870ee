#pragma once

#include "actions/ActionResult.h"
#include "actions/CleanupServices.h"
#include "model/MediaFile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

namespace tarnwick {

class ProjectManager;

// Moves media into a folder the user picked, below which each file keeps its whole former path
// (/Archive + /Volumes/Media/Day1/A001.mov). Takes the manager's operation gate and refuses while
// another operation runs, or when the folder is the root. It decides per file on the GUI thread
// and moves on one worker for the whole run, one file at a time, never replacing anything and
// keeping a file that changed since the run started; it publishes the move progress fields a few
// times a second and stops before the next file when cancelMoveRequested is set (a file in flight
// is rolled back, never left half copied). A retry finishes a move that was killed half way, and
// the temporaries such a move left are swept from each destination folder the run touches.
class MoveToFolderAction {
public:
    // Everything staged in the bin, in bin order; leaves trace files when the option is on.
    static QCoro::Task<ActionResult> moveRecycleBinToFolder(ProjectManager& manager, QString folder,
                                                            CleanupServices services = {});
    // The given files (Move Unused to Folder); offline files are skipped.
    static QCoro::Task<ActionResult> moveFilesToFolder(ProjectManager& manager, QList<MediaFile> files,
                                                       QString folder, CleanupServices services = {});
};

} // namespace tarnwick
