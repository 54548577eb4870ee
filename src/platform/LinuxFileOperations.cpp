#include "platform/LinuxFileOperations.h"

#include <cerrno>

namespace tarnwick {

std::shared_ptr<FileOperations> FileOperations::system() {
    static const auto instance = std::make_shared<LinuxFileOperations>();
    return instance;
}

// Placeholders until the clean-up actions land; every call fails without touching the disk.
FileOpInfo LinuxFileOperations::status(const QString&, bool) const {
    return {};
}
bool LinuxFileOperations::isRegularFile(const QString&) const {
    return false;
}
QString LinuxFileOperations::canonicalPath(const QString&) const {
    return {};
}
FileOpStatus LinuxFileOperations::makeFolder(const QString&, bool, quint32) {
    return FileOpStatus::failure(ENOSYS);
}
FileOpStatus LinuxFileOperations::removeFile(const QString&) {
    return FileOpStatus::failure(ENOSYS);
}
FileOpStatus LinuxFileOperations::removeTree(const QString&) {
    return FileOpStatus::failure(ENOSYS);
}
TrashOutcome LinuxFileOperations::moveToTrash(const QString&) {
    return {FileOpStatus::failure(ENOSYS), {}, {}};
}

} // namespace tarnwick
