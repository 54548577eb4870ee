#pragma once

#include "platform/FileOperations.h"
#include "platform/LinuxTrash.h"

struct stat;

namespace tarnwick {

// File operations on Linux through POSIX calls. Status, removal and the Trash live in
// LinuxFileOperations.cpp; the no-replace move and the atomic replace in LinuxFileMove.cpp.
class LinuxFileOperations : public FileOperations {
public:
    FileOpInfo status(const QString& path, bool followLinks = false) const override;
    bool isRegularFile(const QString& path) const override;
    QString canonicalPath(const QString& path) const override;
    FileOpStatus makeFolder(const QString& path, bool withParents = true, quint32 mode = 0755) override;
    FileOpStatus removeFile(const QString& path,
                            const std::optional<FileIdentity>& expected = std::nullopt) override;
    FileOpStatus removeTree(const QString& path,
                            const std::optional<FileIdentity>& expected = std::nullopt) override;
    TrashOutcome moveToTrash(const QString& path,
                             const std::optional<FileIdentity>& expected = std::nullopt) override;
    void expectTrash(const QStringList& paths) override;
    void sweepTrashLeftovers() override;
    QList<std::optional<QList<TrashedItem>>> trashedFrom(const QStringList& paths) const override;
    VolumeClock clockOf(const QString& path) const override;
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
    // A path that reaches nothing because a name on it is not valid UTF-8 says so.
    static FileOpStatus explained(const QString& path, FileOpStatus status);
    // What an lstat or fstat result tells, and whether it is still the expected item (always
    // when nothing is expected).
    static FileOpInfo infoFrom(const struct stat& st);
    static bool isExpected(const std::optional<FileIdentity>& expected, const struct stat& st);

private:
    LinuxTrash m_trash;
};

} // namespace tarnwick
