#pragma once

#include "platform/FileMover.h"
#include "platform/LinuxFileOperations.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>

namespace tarnwick::test {

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray patternBytes(qint64 size, int seed = 1) {
    QByteArray bytes(size, Qt::Uninitialized);
    char* out = bytes.data();
    quint32 state = quint32(seed) * 2654435761u + 1;
    for (qint64 i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        out[i] = char(state >> 24);
    }
    return bytes;
}

// Every name below folder that carries the temporary-copy marker.
inline QStringList temporaryLeftovers(const QString& folder) {
    QStringList found;
    const auto filters = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    const QFileInfoList items = QDir(folder).entryInfoList(filters);
    for (const QFileInfo& item : items) {
        if (item.fileName().contains(QLatin1String(FileMover::temporaryMarker)))
            found << item.filePath();
        if (item.isDir() && !item.isSymLink())
            found << temporaryLeftovers(item.filePath());
    }
    return found;
}

// A tmpfs mounted under a temporary folder, so moves into it cross a device. Only root can mount;
// isMounted() is false otherwise and the caller skips.
class TmpfsMount {
public:
    explicit TmpfsMount(const char* size = "64m") {
        if (::geteuid() != 0 || !m_dir.isValid())
            return;
        const QByteArray options = QByteArray("size=") + size;
        m_mounted = ::mount("tarnwick-test", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                            options.constData()) == 0;
    }
    ~TmpfsMount() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool isMounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

// Steps that send every move down the copy path on one device: the first rename of an item
// answers EXDEV, while the final rename of a temporary copy is real.
inline FileMoveSteps crossDeviceSteps() {
    FileMoveSteps steps = FileMoveSteps::system();
    const auto real = steps.renameNoReplace;
    steps.renameNoReplace = [real](const QByteArray& from, const QByteArray& to) {
        if (!from.contains(FileMover::temporaryMarker)) {
            errno = EXDEV;
            return -1;
        }
        return real(from, to);
    };
    return steps;
}

// A move onto a volume like FAT or exFAT, as their drivers answer, on top of `steps`: no
// RENAME_NOREPLACE (EINVAL), no hard links (EPERM), no owner or mode (ENOSYS), times kept to 2 s.
inline FileMoveSteps fatLikeSteps(FileMoveSteps steps = crossDeviceSteps()) {
    const auto rename = steps.renameNoReplace;
    steps.renameNoReplace = [rename](const QByteArray& from, const QByteArray& to) {
        if (from.contains(FileMover::temporaryMarker)) {
            errno = EINVAL;
            return -1;
        }
        return rename(from, to);
    };
    steps.link = [](const QByteArray&, const QByteArray&) {
        errno = EPERM;
        return -1;
    };
    steps.ownerAndMode.setOwner = [](int, uid_t, gid_t) {
        errno = ENOSYS;
        return -1;
    };
    steps.ownerAndMode.setMode = [](int, mode_t) {
        errno = ENOSYS;
        return -1;
    };
    steps.setTimes = [](int fd, const struct timespec times[2]) {
        const struct timespec coarse[2] = {{times[0].tv_sec & ~1L, 0}, {times[1].tv_sec & ~1L, 0}};
        return ::futimens(fd, coarse);
    };
    return steps;
}

// The real operations, but every move goes through `steps` (the copy path of crossDeviceSteps(),
// with a test's faults or kills on top).
class SteppedFileOperations : public LinuxFileOperations {
public:
    explicit SteppedFileOperations(FileMoveSteps steps = crossDeviceSteps()) : m_steps(std::move(steps)) {}
    FileOpStatus moveNoReplace(const QString& source, const QString& destination,
                               const FileOpProgress& progress = {},
                               const std::atomic_bool* cancel = nullptr) override {
        return FileMover(m_steps).moveNoReplace(source, destination, progress, cancel);
    }

private:
    FileMoveSteps m_steps;
};

// A copy step that fails with errorCode once limit bytes have been copied, copying at most
// piece bytes per call.
inline void failCopyAfter(FileMoveSteps& steps, qint64 limit, int errorCode, qint64 piece = 1 << 20) {
    auto copied = std::make_shared<qint64>(0);
    const auto real = steps.copyChunk;
    steps.copyChunk = [=](int from, int to, qint64 count) -> qint64 {
        if (*copied >= limit) {
            errno = errorCode;
            return -1;
        }
        const qint64 got = real(from, to, std::min({count, piece, limit - *copied}));
        if (got > 0)
            *copied += got;
        return got;
    };
}

} // namespace tarnwick::test
