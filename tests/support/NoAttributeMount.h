#pragma once

#include "support/FileSystemProbes.h"

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace tarnwick::testing {

// A file system that keeps no user attributes (ramfs) mounted under a temporary folder: every mark
// of ours there is a sidecar file, as on FAT and exFAT drives. whyNot() is empty when it is there,
// else the reason for GTEST_SKIP (only root can mount; a ramfs that keeps attributes proves nothing).
class NoAttributeMount {
public:
    NoAttributeMount() {
        if (::geteuid() != 0) {
            m_whyNot = "mounting a file system without user attributes needs root";
            return;
        }
        if (!m_dir.isValid() ||
            ::mount("tarnwick-test", QFile::encodeName(m_dir.path()).constData(), "ramfs", 0, nullptr) != 0) {
            m_whyNot = std::string("cannot mount a ramfs: ") + std::strerror(errno);
            return;
        }
        m_mounted = true;
        if (keepsUserAttributes(m_dir.path()).empty())
            m_whyNot = "this ramfs keeps user attributes";
    }
    ~NoAttributeMount() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    NoAttributeMount(const NoAttributeMount&) = delete;
    NoAttributeMount& operator=(const NoAttributeMount&) = delete;

    const std::string& whyNot() const { return m_whyNot; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    std::string m_whyNot;
};

} // namespace tarnwick::testing
