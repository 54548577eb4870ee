#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace tarnwick::testing {

// A small file system of its own, made in an image file and mounted on a temporary folder for the
// test's life: ext4 from a loop device, exFAT through its FUSE driver on a loop device, FAT through
// its FUSE driver on the image. remount() mounts it again as a replugged drive comes back: ext4 and
// exFAT from another loop device (another device number), FAT with the inode numbers its driver
// makes up again. Mounting needs root, loop devices and, for FAT and exFAT, /dev/fuse and the
// drivers (exfat-fuse, fusefat, dosfstools, exfatprogs): whyNot() says what is missing, for
// GTEST_SKIP. Every mount and loop device it made goes with it, whatever the test did.
class ScratchVolume {
public:
    enum class Kind { ext4, exfat, fat };

    explicit ScratchVolume(Kind kind, qint64 bytes = qint64(64) << 20) : m_kind(kind) {
        m_whyNot = prerequisites();
        if (!m_whyNot.empty())
            return;
        m_image = m_dir.filePath(QStringLiteral("volume.img"));
        m_mountPoint = m_dir.filePath(QStringLiteral("mounted"));
        QDir().mkpath(m_mountPoint);
        QFile image(m_image);
        if (!image.open(QIODevice::WriteOnly) || !image.resize(bytes)) {
            m_whyNot = "cannot make the volume's image";
            return;
        }
        image.close();
        const QStringList make = kind == Kind::ext4    ? QStringList{"mkfs.ext4", "-q", "-F", m_image}
                                 : kind == Kind::exfat ? QStringList{"mkfs.exfat", m_image}
                                                       : QStringList{"mkfs.vfat", m_image};
        if (const std::string why = run(make); !why.empty()) {
            m_whyNot = why;
            return;
        }
        m_whyNot = mount();
    }
    ~ScratchVolume() {
        unmount();
        detach(m_loop);
    }
    ScratchVolume(const ScratchVolume&) = delete;
    ScratchVolume& operator=(const ScratchVolume&) = delete;

    const std::string& whyNot() const { return m_whyNot; }
    QString path() const { return m_mountPoint; }
    const char* name() const {
        return m_kind == Kind::ext4 ? "ext4" : m_kind == Kind::exfat ? "exFAT" : "FAT";
    }

    // Unmounts and mounts again; for ext4 and exFAT from a loop device other than the one before,
    // attached while that one still holds the image, so that its number differs. A FUSE driver
    // started with `timeZone` (TZ) turns FAT's local times with that zone's offset. Empty, or why
    // not (then whyNot() says it too).
    std::string remount(const QString& timeZone = {}) {
        const QString before = m_loop;
        m_loop.clear();
        std::string why = m_kind != Kind::fat ? attach() : std::string();
        if (why.empty()) {
            unmount();
            m_timeZone = timeZone;
            why = mount(false);
            detach(before);
        }
        if (!why.empty())
            m_whyNot = "mounted again: " + why;
        return why;
    }

private:
    std::string prerequisites() const {
        if (::geteuid() != 0)
            return "mounting a scratch volume needs root";
        if (!m_dir.isValid())
            return "no temporary folder";
        const char* tools[3][2] = {
            {"mkfs.ext4", "losetup"}, {"mkfs.exfat", "mount.exfat-fuse"}, {"mkfs.vfat", "fusefat"}};
        for (const char* tool : tools[int(m_kind)]) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                return std::string(tool) + " is not installed";
        }
        if (m_kind != Kind::fat && QStandardPaths::findExecutable(QStringLiteral("losetup")).isEmpty())
            return "losetup is not installed";
        if (m_kind != Kind::ext4 && !QFile::exists(QStringLiteral("/dev/fuse")))
            return "no /dev/fuse";
        return {};
    }

    static std::string run(const QStringList& command, QString* output = nullptr,
                           const QString& timeZone = {}) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (!timeZone.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("TZ"), timeZone);
            process.setProcessEnvironment(environment);
        }
        process.start(command.first(), command.mid(1));
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            return command.first().toStdString() + " did not finish";
        }
        const QString said = QString::fromLocal8Bit(process.readAll()).trimmed();
        if (output)
            *output = said;
        if (process.exitCode() != 0)
            return command.join(' ').toStdString() + " failed: " + said.toStdString();
        return {};
    }

    std::string attach() {
        QString device;
        if (const std::string why = run({"losetup", "-f", "--show", m_image}, &device); !why.empty())
            return "no loop device: " + why;
        m_loop = device.section('\n', -1).trimmed();
        return {};
    }

    std::string mount(bool attachFirst = true) {
        if (m_kind != Kind::fat && attachFirst) {
            if (const std::string why = attach(); !why.empty())
                return why;
        }
        std::string why;
        if (m_kind == Kind::ext4)
            why = run({"mount", "-t", "ext4", m_loop, m_mountPoint});
        else if (m_kind == Kind::exfat)
            why = run({"mount.exfat-fuse", m_loop, m_mountPoint}, nullptr, m_timeZone);
        else
            why = run({"fusefat", "-o", "rw+", m_image, m_mountPoint}, nullptr, m_timeZone);
        m_mounted = why.empty();
        return why;
    }

    void unmount() {
        if (!m_mounted)
            return;
        if (!run({"umount", m_mountPoint}).empty())
            ::umount2(QFile::encodeName(m_mountPoint).constData(), MNT_DETACH);
        m_mounted = false;
    }

    static void detach(const QString& loop) {
        if (!loop.isEmpty())
            run({"losetup", "-d", loop});
    }

    Kind m_kind;
    QTemporaryDir m_dir;
    QString m_image;
    QString m_mountPoint;
    QString m_loop;
    QString m_timeZone;
    bool m_mounted = false;
    std::string m_whyNot;
};

// Runs `test` on a scratch volume of each of `kinds` that mounts here, under the volume's name.
// Empty when it ran on one at least; else why it ran on none, for GTEST_SKIP. The kinds it could not
// run on (no driver, a remount refused) are printed.
template <typename Test>
std::string onEachScratchVolume(std::initializer_list<ScratchVolume::Kind> kinds, Test&& test) {
    std::string skipped;
    int tried = 0;
    for (const ScratchVolume::Kind kind : kinds) {
        ScratchVolume volume(kind);
        if (volume.whyNot().empty()) {
            SCOPED_TRACE(volume.name());
            test(volume);
        }
        if (volume.whyNot().empty())
            ++tried;
        else
            skipped += std::string(volume.name()) + ": " + volume.whyNot() + "; ";
    }
    if (tried > 0 && !skipped.empty())
        std::printf("not tried: %s\n", skipped.c_str());
    return tried == 0 ? skipped : std::string();
}

} // namespace tarnwick::testing

// A scratch volume `volume` of `kind` for the test, which is skipped where none can be mounted.
#define SCRATCH_VOLUME_OR_SKIP(volume, kind)                                                                 \
    ::tarnwick::testing::ScratchVolume volume(::tarnwick::testing::ScratchVolume::Kind::kind);               \
    if (!volume.whyNot().empty())                                                                            \
    GTEST_SKIP() << volume.name() << ": " << volume.whyNot()
