#include "platform/FileMover.h"
#include "platform/LinuxFileOperations.h"

namespace tarnwick {

FileOpStatus LinuxFileOperations::moveNoReplace(const QString& source, const QString& destination,
                                                const FileOpProgress& progress,
                                                const std::atomic_bool* cancel) {
    return explained(source, FileMover().moveNoReplace(source, destination, progress, cancel));
}

FileOpStatus LinuxFileOperations::replaceAtomically(const QString& replacement, const QString& target) {
    return FileMover().replaceAtomically(replacement, target);
}

} // namespace tarnwick
