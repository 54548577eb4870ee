#pragma once

#include "actions/ArchiveDestination.h"
#include "actions/ProtectedFolderTest.h"
#include "platform/FileOperations.h"

#include <QString>

#include <atomic>
#include <optional>

namespace tarnwick {

// The disk half of moving one staged file to a folder, decided on the GUI thread and run on a
// worker: no manager access. The protection test comes first, as the rules order it for moves.
struct FolderMoveJob {
    enum class Container { none, proceed, handled, refused };
    QString name;       // the staged file's name
    QString stagedPath; // its path (the bin numbering reads it)
    QString source;     // working path, or the container
    Container container = Container::none;
    std::optional<QString> destination;                     // nothing: the source would leave the folder
    std::optional<ArchiveDestination::Numbering> numbering; // nothing: no collision test
    bool containerFolderFailureIsFatal = true;
    std::optional<QString> proxy; // set, and not the source
    bool proxyInUse = false;
    QString folder; // the chosen destination folder
};

struct FolderMoveOutcome {
    enum class Kind {
        moved,
        withContainer,
        containerRefused,
        protectedTarget,
        isFolder,
        outsideFolder,
        folderFailed,
        moveFailed,
        cancelled
    };
    enum class Proxy { none, moved, failed, notRegular, inUse };
    Kind kind = Kind::moveFailed;
    QString destination; // where the file or container now is
    FileOpStatus error;
    Proxy proxy = Proxy::none;
    QString proxyDestination;
    QString proxyError;
};

FolderMoveOutcome executeFolderMove(const FolderMoveJob& job, FileOperations& files,
                                    const ProtectedFolderTest& protection, const FileOpProgress& progress,
                                    const std::atomic_bool* cancel);

} // namespace tarnwick
