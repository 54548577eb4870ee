#pragma once

#include "platform/VolumeCapacity.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace tarnwick::testing {

// A small tmpfs mounted on a temporary folder for the test's life, to run out of room for real.
// Mounting needs root: a test checks mounted() and skips with why() otherwise, as
// SMALL_VOLUME_OR_SKIP(volume, 4 << 20) does.
class SmallVolume {
public:
    explicit SmallVolume(qint64 bytes) {
        if (::geteuid() != 0) {
            m_why = "needs root to mount a small tmpfs";
            return;
        }
        const QByteArray options = "size=" + QByteArray::number(bytes);
        if (::mount("tarnwick-test", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                    options.constData()) != 0) {
            m_why = std::string("could not mount a tmpfs: ") + std::strerror(errno);
            return;
        }
        m_mounted = true;
    }
    ~SmallVolume() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& why() const { return m_why; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& relative) const {
        const QString path = m_dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        return path;
    }
    qint64 free() const { return availableCapacity(path()).value_or(0); }

    // Takes the volume's free space until `leave` bytes are left (a filler file), or all of it.
    void fill(qint64 leave = 0) {
        const int fd =
            ::open(QFile::encodeName(fillerPath()).constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (fd < 0)
            return;
        const QByteArray block(1 << 20, 'f');
        while (free() > leave) {
            const qint64 want = std::min<qint64>(block.size(), free() - leave);
            if (::write(fd, block.constData(), size_t(want)) <= 0)
                break;
        }
        ::close(fd);
    }
    // Gives the filler's room back.
    void unfill() { QFile::remove(fillerPath()); }

private:
    QString fillerPath() const { return m_dir.filePath(QStringLiteral(".filler")); }

    QTemporaryDir m_dir;
    bool m_mounted = false;
    std::string m_why;
};

} // namespace tarnwick::testing

// A small volume named `name` of `bytes` for the test, which is skipped where none can be mounted.
#define SMALL_VOLUME_OR_SKIP(name, bytes)                                                                    \
    ::tarnwick::testing::SmallVolume name(bytes);                                                            \
    if (!name.mounted())                                                                                     \
    GTEST_SKIP() << name.why()
