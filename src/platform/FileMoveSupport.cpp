#include "platform/FileMoveSupport.h"

#include "platform/FileMover.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <memory>
#include <unistd.h>

namespace tarnwick::filemove {

QString describeErrno(int code) {
    switch (code) {
    case EEXIST:
        return QStringLiteral("An item with the same name already exists at the destination");
    case ECANCELED:
        return QStringLiteral("Cancelled");
    default:
        break;
    }
    // strerrordesc_np is thread-safe and untranslated, like the rest of the log.
    const char* text = strerrordesc_np(code);
    return text ? QString::fromUtf8(text) : QStringLiteral("Error %1").arg(code);
}

FileOpStatus errnoStatus(int code) {
    return FileOpStatus::failure(code, describeErrno(code));
}

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray lastComponent(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray joinPath(const QByteArray& root, const QByteArray& relative) {
    return relative.isEmpty() ? root : root + '/' + relative;
}

int syncFolder(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int result = 0;
    if (::fsync(fd) != 0 && errno != EINVAL)
        result = errno;
    ::close(fd);
    return result;
}

int makeSyncedFolder(const QByteArray& path, mode_t mode, bool withParents) {
    if (::mkdir(path.constData(), mode) == 0)
        return syncFolder(parentOf(path));
    int error = errno;
    if (error == ENOENT && withParents && path.size() > 1 && parentOf(path) != path) {
        if (const int parent = makeSyncedFolder(parentOf(path), mode, true); parent != 0)
            return parent;
        if (::mkdir(path.constData(), mode) == 0)
            return syncFolder(parentOf(path));
        error = errno;
    }
    struct stat st {};
    if (error == EEXIST)
        return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : EEXIST;
    return error;
}

QByteArray temporaryTemplate(const QByteArray& destination) {
    // NAME_MAX is 255 bytes: a dot, at most 200 bytes of the name, the marker and six random letters.
    QByteArray name = lastComponent(destination).left(200);
    return parentOf(destination) + "/." + name + FileMover::temporaryMarker + "XXXXXX";
}

namespace {
int removeVisited(const char* path, const struct stat*, int type, struct FTW*) {
    if (type == FTW_DP)
        ::rmdir(path);
    else
        ::unlink(path);
    return 0;
}
} // namespace

void removeOwnTree(const QByteArray& path) {
    ::nftw(path.constData(), removeVisited, 16, FTW_DEPTH | FTW_PHYS);
}

namespace {
struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

FileOpStatus collectBelow(const QByteArray& root, const QByteArray& relative, QList<TreeEntry>& entries) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(joinPath(root, relative).constData()));
    if (!dir)
        return errnoStatus(errno);
    QList<QByteArray> folders;
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(dir.get());
        if (!item) {
            if (errno != 0)
                return errnoStatus(errno);
            break;
        }
        const QByteArray name(item->d_name);
        if (name == "." || name == "..")
            continue;
        TreeEntry entry;
        entry.relative = relative.isEmpty() ? name : relative + '/' + name;
        if (::lstat(joinPath(root, entry.relative).constData(), &entry.info) != 0)
            return errnoStatus(errno);
        if (S_ISDIR(entry.info.st_mode)) {
            entry.kind = TreeEntry::Kind::folder;
            folders.append(entry.relative);
        } else if (S_ISREG(entry.info.st_mode)) {
            entry.kind = TreeEntry::Kind::file;
        } else if (S_ISLNK(entry.info.st_mode)) {
            entry.kind = TreeEntry::Kind::link;
        } else {
            return FileOpStatus::failure(
                EPERM, QStringLiteral("The folder holds a special file that cannot be moved: ") +
                           QString::fromLocal8Bit(entry.relative));
        }
        entries.append(entry);
    }
    dir.reset();
    for (const QByteArray& folder : folders) {
        if (auto status = collectBelow(root, folder, entries); !status)
            return status;
    }
    return FileOpStatus::success();
}
} // namespace

FileOpStatus collectTree(const QByteArray& root, QList<TreeEntry>& entries) {
    TreeEntry top;
    top.kind = TreeEntry::Kind::folder;
    if (::lstat(root.constData(), &top.info) != 0)
        return errnoStatus(errno);
    entries.append(top);
    return collectBelow(root, {}, entries);
}

} // namespace tarnwick::filemove
