#pragma once

#include "platform/FileOperations.h"
#include "platform/LinuxTrash.h"

namespace tarnwick {

// File operations on Linux through POSIX calls. Status, removal and the Trash live in
// LinuxFileOperations.cpp; the no-replace move and the atomic replace in LinuxFileMove.cpp.
class LinuxFileOperations : public FileOperations {
public:
    FileOpInfo status(const QString& path, bool followLinks = false) const override;
    bool isRegularFile(const QString& path) const override;
    QString canonicalPath(const QString& path) const override;
    FileOpStatus makeFolder(const QString& path, bool withParents = true, quint32 mode = 0755) override;
    FileOpStatus removeFile(const QString& path) override;
    FileOpStatus removeTree(const QString& path) override;
    TrashOutcome moveToTrash(const QString& path) override;
    FileOpStatus moveNoReplace(const QString& source, const QString& destination,
                               const FileOpProgress& progress = {},
                               const std::atomic_bool* cancel = nullptr) override;
    FileOpStatus replaceAtomically(const QString& replacement, const QString& target) override;
    FileOpStatus removeLeftover(const QString& path) override;

    // A NUL would name another file to the kernel: every operation refuses such a path.
    static bool hasNul(const QString& path);
    static FileOpStatus nulRefused();
    // The errno value with the system's text for it.
    static FileOpStatus fromErrno(int code);

private:
    LinuxTrash m_trash;
};

} // namespace tarnwick
