#pragma once

#include "actions/ActionResult.h"
#include "actions/CleanupRun.h"
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
// As the clean-up runner holds it, it is one run of either move, cancelled through the move
// progress fields, its progress in files.
class MoveToFolderAction : public CleanupRun {
public:
    // `kind` is binMove or unusedMove; the unused files safe to move are read when the run starts,
    // as the list may have changed while it waited.
    MoveToFolderAction(ProjectManager& manager, CleanupRunKind kind, QString folder, QString description,
                       CleanupServices services = {});

    // Everything staged in the bin, in bin order; leaves trace files when the option is on.
    static QCoro::Task<ActionResult> moveRecycleBinToFolder(ProjectManager& manager, QString folder,
                                                            CleanupServices services = {});
    // The given files (Move Unused to Folder); offline files are skipped.
    static QCoro::Task<ActionResult> moveFilesToFolder(ProjectManager& manager, QList<MediaFile> files,
                                                       QString folder, CleanupServices services = {});

protected:
    QCoro::Task<CleanupResult> work() override;
    void stop() override;
    Progress liveProgress() const override;

private:
    const QString m_folder;
    const CleanupServices m_services;
};

} // namespace tarnwick
