#pragma once

#include "platform/LeftoverMark.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tarnwick::testing {

// Marks the file or folder at `path` as a temporary of `writer` (another process, maybe one that is
// gone), the way the program marks its own: by the user attribute where the file system keeps one,
// else by the sidecar beside it that names the file's device and inode (tmpfs before Linux 6.6,
// FAT, some shares). False when neither could be written.
inline bool markAsWrittenBy(const QString& path, const leftover::Writer& writer,
                            QByteArrayView subject = {}) {
    const QByteArray native = QFile::encodeName(path);
    const QByteArray value = leftover::encode({writer, subject.toByteArray()});
    if (::lsetxattr(native.constData(), "user.tarnwick.writer", value.constData(), size_t(value.size()), 0) ==
        0)
        return true;
    if (errno != ENOTSUP && errno != EOPNOTSUPP)
        return false;
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return false;
    const QByteArray text =
        QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino)) + '\n' + value;
    const int fd =
        ::open(leftover::sidecarPath(native).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == ssize_t(text.size());
    ::close(fd);
    return written;
}

} // namespace tarnwick::testing
