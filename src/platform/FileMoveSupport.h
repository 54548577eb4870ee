#pragma once

#include "platform/FileOperations.h"

#include <QByteArray>
#include <QList>

#include <sys/stat.h>

namespace tarnwick::filemove {

// Small POSIX helpers shared by the same-device and the cross-device halves of a move.

FileOpStatus errnoStatus(int code);
QString describeErrno(int code);

QByteArray parentOf(const QByteArray& path);
QByteArray lastComponent(const QByteArray& path);

// fsync of a folder; file systems that cannot sync a folder (EINVAL) count as success.
int syncFolder(const QByteArray& path);
// mkdir of `path` with `mode`, synced into its parent when made now (a power cut must not drop a
// folder whose files were synced). 0 when it is a folder afterwards, else the errno value; with
// `withParents` the missing parents are made the same way.
int makeSyncedFolder(const QByteArray& path, mode_t mode, bool withParents = false);

// "<folder>/.<name><marker>XXXXXX", the name shortened so the whole stays within NAME_MAX.
QByteArray temporaryTemplate(const QByteArray& destination);

// Removes a folder tree we created ourselves (a temporary copy), never following links.
void removeOwnTree(const QByteArray& path);

// One item of a folder being moved, relative to the folder (empty for the folder itself).
struct TreeEntry {
    enum class Kind { folder, file, link };
    QByteArray relative;
    Kind kind = Kind::file;
    struct stat info {};
};

// Every item below root (root itself first), parents before their contents, links not followed.
// A special file (FIFO, device, socket) fails the walk: it cannot be moved safely by copying.
FileOpStatus collectTree(const QByteArray& root, QList<TreeEntry>& entries);

QByteArray joinPath(const QByteArray& root, const QByteArray& relative);

} // namespace tarnwick::filemove
