#pragma once

#include "support/ImmutableFile.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/xattr.h>
#include <unistd.h>

namespace tarnwick::testing {

// What the file system holding a folder does, proved on a scratch file there before a test relies
// on it: file systems differ (tmpfs, ext4, XFS, shares), and the temporary folder may be any of
// them. Each answers an empty text when the behaviour holds, else why not (for GTEST_SKIP).

namespace probe {

// A scratch file in `folder` for one probe, removed (writable again) with the probe.
class ScratchFile {
public:
    explicit ScratchFile(const QString& folder, const char* name)
        : m_path(folder + QLatin1Char('/') + QLatin1String(name)) {
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }
    ~ScratchFile() {
        if (m_immutable)
            setImmutable(m_path, false);
        if (m_fd >= 0)
            ::close(m_fd);
        QFile::remove(m_path);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    int fd() const { return m_fd; }
    const QString& path() const { return m_path; }
    bool makeImmutable() { return m_immutable = setImmutable(m_path, true); }

private:
    QString m_path;
    int m_fd = -1;
    bool m_immutable = false;
};

inline std::string failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace probe

// A file made immutable (as `chattr +i` does) refuses a write through a descriptor opened before:
// ext4 refuses it, tmpfs takes it. Needs root.
inline std::string immutableRefusesOpenDescriptors(const QString& folder) {
    probe::ScratchFile scratch(folder, ".immutable-probe");
    if (scratch.fd() < 0)
        return probe::failure("cannot make a file to probe the file system");
    if (!scratch.makeImmutable())
        return probe::failure("this file system or process cannot make a file immutable");
    if (::write(scratch.fd(), "x", 1) == 1)
        return "this file system takes writes through a descriptor opened before the file was made immutable";
    return {};
}

// A file made immutable cannot be opened for writing, nor can a folder made immutable take a new
// name (refused above the file system, wherever the flag can be set). Needs root.
inline std::string immutableRefusesOpening(const QString& folder) {
    probe::ScratchFile scratch(folder, ".immutable-probe");
    if (scratch.fd() < 0)
        return probe::failure("cannot make a file to probe the file system");
    if (!scratch.makeImmutable())
        return probe::failure("this file system or process cannot make a file immutable");
    const int fd = ::open(QFile::encodeName(scratch.path()).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return "this file system opens an immutable file for writing";
    }
    return {};
}

// The file system keeps user extended attributes ("user.*"): tmpfs before Linux 6.6, ramfs and some
// shares keep none (our marks then go to sidecar files).
inline std::string keepsUserAttributes(const QString& folder) {
    probe::ScratchFile scratch(folder, ".attribute-probe");
    if (scratch.fd() < 0)
        return probe::failure("cannot make a file to probe the file system");
    if (::fsetxattr(scratch.fd(), "user.tarnwick.probe", "1", 1, 0) != 0)
        return probe::failure("this file system keeps no user attributes");
    return {};
}

} // namespace tarnwick::testing

// Skips the test unless `probe(folder)` holds, with the probe's reason.
#define FILE_SYSTEM_OR_SKIP(check, folder)                                                                   \
    if (const std::string why = ::tarnwick::testing::check(folder); !why.empty())                            \
    GTEST_SKIP() << why
