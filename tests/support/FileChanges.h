#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>

namespace tarnwick::testing {

// The three ways a file at a path stops being the one that was there: another file renamed onto
// its name (another inode), bytes appended, or only its modification time changed.
enum class FileChange { replaced, grown, touched };

inline bool changeFile(const QString& path, FileChange change) {
    const QByteArray native = QFile::encodeName(path);
    switch (change) {
    case FileChange::replaced: {
        QFile newer(path + QStringLiteral(".newer"));
        if (!newer.open(QIODevice::WriteOnly) || newer.write(QByteArray(5000, 'n')) != 5000)
            return false;
        newer.close();
        return ::rename(QFile::encodeName(newer.fileName()).constData(), native.constData()) == 0;
    }
    case FileChange::grown: {
        QFile file(path);
        return file.open(QIODevice::Append) && file.write("more") == 4;
    }
    case FileChange::touched: {
        struct stat st {};
        if (::lstat(native.constData(), &st) != 0)
            return false;
        const timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec - 60, st.st_mtim.tv_nsec}};
        return ::utimensat(AT_FDCWD, native.constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
    }
    }
    return false;
}

} // namespace tarnwick::testing
