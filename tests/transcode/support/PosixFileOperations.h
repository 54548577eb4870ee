#pragma once

#include "platform/LinuxFileOperations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::testing {

// Real POSIX file operations for the transcode tests, with a Trash that is a plain folder and
// switches that make single steps fail.
class PosixFileOperations : public FileOperations {
public:
    explicit PosixFileOperations(QString trashFolder) : m_trash(std::move(trashFolder)) {
        QDir().mkpath(m_trash);
    }

    int failReplace = 0; // errno to fail replaceAtomically with
    int failTrash = 0;   // errno to fail moveToTrash with
    int failMove = 0;    // errno to fail moveNoReplace with (other than the real EEXIST)
    int removeCalls = 0;
    int trashCalls = 0;
    int replaceCalls = 0;

    FileOpInfo status(const QString& path, bool followLinks = false) const override {
        struct stat st {};
        const QByteArray name = QFile::encodeName(path);
        if ((followLinks ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st)) != 0)
            return {};
        FileOpInfo info;
        info.kind = S_ISREG(st.st_mode)   ? FileKind::regular
                    : S_ISDIR(st.st_mode) ? FileKind::directory
                    : S_ISLNK(st.st_mode) ? FileKind::symlink
                                          : FileKind::other;
        info.size = st.st_size;
        info.mode = st.st_mode;
        info.device = quint64(st.st_dev);
        info.inode = quint64(st.st_ino);
        info.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
        info.linkCount = quint64(st.st_nlink);
        return info;
    }
    bool isRegularFile(const QString& path) const override {
        return status(path, true).kind == FileKind::regular;
    }
    QString canonicalPath(const QString& path) const override { return QFileInfo(path).canonicalFilePath(); }
    FileOpStatus makeFolder(const QString& path, bool, quint32) override {
        return QDir().mkpath(path) ? FileOpStatus::success() : FileOpStatus::failure(EIO);
    }
    FileOpStatus removeFile(const QString& path, const std::optional<FileIdentity>& = std::nullopt) override {
        ++removeCalls;
        if (status(path).kind == FileKind::directory)
            return FileOpStatus::failure(EISDIR);
        return ::unlink(QFile::encodeName(path).constData()) == 0 ? FileOpStatus::success()
                                                                  : FileOpStatus::failure(errno);
    }
    FileOpStatus removeTree(const QString&, const std::optional<FileIdentity>& = std::nullopt) override {
        return FileOpStatus::failure(ENOSYS);
    }
    TrashOutcome moveToTrash(const QString& path,
                             const std::optional<FileIdentity>& = std::nullopt) override {
        ++trashCalls;
        if (failTrash)
            return {FileOpStatus::failure(failTrash, QStringLiteral("the Trash refused it")), {}, {}};
        const QString target = QDir(m_trash).filePath(QFileInfo(path).fileName());
        const FileOpStatus moved = moveNoReplace(path, target);
        return {moved, target, {}};
    }
    FileOpStatus moveNoReplace(const QString& source, const QString& destination, const FileOpProgress& = {},
                               const std::atomic_bool* = nullptr) override {
        if (failMove)
            return FileOpStatus::failure(failMove);
        if (::renameat2(AT_FDCWD, QFile::encodeName(source).constData(), AT_FDCWD,
                        QFile::encodeName(destination).constData(), RENAME_NOREPLACE) != 0)
            return FileOpStatus::failure(errno);
        return FileOpStatus::success();
    }
    FileOpStatus replaceAtomically(const QString& replacement, const QString& target) override {
        ++replaceCalls;
        if (failReplace)
            return FileOpStatus::failure(failReplace);
        if (::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(target).constData()) != 0)
            return FileOpStatus::failure(errno);
        return FileOpStatus::success();
    }

    FileOpStatus removeLeftover(const QString& path) override {
        return LinuxFileOperations().removeLeftover(path);
    }

    const QString& trashFolder() const { return m_trash; }

private:
    QString m_trash;
};

} // namespace tarnwick::testing
