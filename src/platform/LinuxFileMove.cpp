#include "platform/LinuxFileOperations.h"

#include <cerrno>

namespace tarnwick {

// Placeholders until moving to a folder and transcoding land.
FileOpStatus LinuxFileOperations::moveNoReplace(const QString&, const QString&, const FileOpProgress&,
                                                const std::atomic_bool*) {
    return FileOpStatus::failure(ENOSYS);
}

FileOpStatus LinuxFileOperations::replaceAtomically(const QString&, const QString&) {
    return FileOpStatus::failure(ENOSYS);
}

} // namespace tarnwick
