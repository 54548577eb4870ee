#pragma once

#include "model/MediaFile.h"

#include <QList>
#include <QString>

namespace tarnwick {

class ProjectManager;

// A file about to be removed, the used file it is tied to, and why.
struct DeleteSafetyConflict {
    MediaFile fileToDelete;
    MediaFile usedFile;
    QString reason;
};

// Refuses what a project may still need: a file that is itself used, consolidated paths, copies
// with the same name and size, files of After Effects projects that could not be checked, and the
// data of a Character Animator project a timeline uses. Linear in the media list plus the input; changes
// nothing and logs nothing.
class DeleteSafetyCheck {
public:
    static QList<DeleteSafetyConflict> findDeleteSafetyConflicts(const QList<MediaFile>& mediaFiles,
                                                                 const QList<MediaFile>& files);
    static QList<DeleteSafetyConflict> findDeleteSafetyConflicts(const ProjectManager& manager,
                                                                 const QList<MediaFile>& files);
    // The unused, on-disk files not marked for review that have no conflict, in list order.
    static QList<MediaFile> safeUnusedFiles(const QList<MediaFile>& mediaFiles);
    static QList<MediaFile> safeUnusedFiles(const ProjectManager& manager);
};

} // namespace tarnwick
