#include "transcode/TranscodeTemporary.h"

#include "platform/AppLog.h"
#include "platform/LeftoverMark.h"
#include "platform/LeftoverSweep.h"
#include "platform/UnnamedFileLink.h"
#include "transcode/TranscodeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

constexpr int kNames = 1000;

QByteArray subjectFor(const FileIdentity& source, const QString& name) {
    return LeftoverSweep::transcodeSubject(source, name);
}

} // namespace

TranscodeTemporary::TranscodeTemporary(FileOperations* files, QString path, int fd)
    : m_files(files), m_path(std::move(path)), m_at(m_path), m_fd(fd) {
    struct stat st {};
    if (::fstat(m_fd, &st) == 0) {
        m_device = quint64(st.st_dev);
        m_inode = quint64(st.st_ino);
    }
}

TranscodeTemporary::TranscodeTemporary(TranscodeTemporary&& other) noexcept
    : m_files(other.m_files), m_path(std::move(other.m_path)), m_at(std::move(other.m_at)), m_fd(other.m_fd),
      m_device(other.m_device), m_inode(other.m_inode), m_settled(other.m_settled) {
    other.m_fd = -1;
    other.m_settled = true;
}

TranscodeTemporary::~TranscodeTemporary() {
    if (m_fd < 0)
        return;
    remove();
    ::close(m_fd);
}

QString TranscodeTemporary::preferredPath(const QString& sourcePath) {
    const QFileInfo info(sourcePath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("_transcoding.mov"));
}

QString TranscodeTemporary::descriptorPath(int fd) {
    return QStringLiteral("/proc/self/fd/") + QString::number(fd);
}

namespace {

QString candidate(const QDir& folder, const QString& base, int k) {
    return folder.filePath(base + QStringLiteral("_transcoding") +
                           (k == 0 ? QString() : QLatin1Char('_') + QString::number(k)) +
                           QStringLiteral(".mov"));
}

void warnUnmarked(const QString& path) {
    AppLog::warning(
        QStringLiteral("  Transcode: could not mark the temporary output as ours; after a crash it "
                       "stays: ") +
        path);
}

[[noreturn]] void throwCannotCreate(const QString& path, int error) {
    throw TranscodeError::cannotCreateWriter(path + QStringLiteral(": ") +
                                             QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

TranscodeTemporary TranscodeTemporary::create(FileOperations& files, const QString& sourcePath,
                                              const FileIdentity& source) {
    const QFileInfo info(sourcePath);
    const QDir folder = info.dir();
    const QString base = info.completeBaseName();
    // Made without a name, marked, then linked under a free name: no kill can leave an unmarked
    // file behind under our name. File systems without unnamed files take the exclusive create.
    const int unnamed =
        ::open(QFile::encodeName(folder.path()).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    for (int k = 0; k < kNames; ++k) {
        const QString path = candidate(folder, base, k);
        const QByteArray native = QFile::encodeName(path);
        const QByteArray subject = subjectFor(source, QFileInfo(path).fileName());
        if (unnamed >= 0) {
            const bool marked = leftover::mark(native, unnamed, subject);
            const int error = linkUnnamedFile(unnamed, native);
            if (error == 0) {
                if (!marked)
                    warnUnmarked(path);
                return TranscodeTemporary(&files, path, unnamed);
            }
            leftover::unmarkOpen(native, unnamed); // a sidecar written for this name
            if (error == EEXIST)
                continue; // not ours to remove, or still being written: another name
            ::close(unnamed);
            throwCannotCreate(path, error);
        }
        const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            throwCannotCreate(path, errno);
        if (!leftover::mark(native, fd, subject))
            warnUnmarked(path);
        return TranscodeTemporary(&files, path, fd);
    }
    if (unnamed >= 0)
        ::close(unnamed);
    throw TranscodeError::cannotCreateWriter(QStringLiteral("no free name for the temporary output beside ") +
                                             sourcePath);
}

bool TranscodeTemporary::isAt(const QString& where) const {
    const FileOpInfo info = m_files->status(where, false);
    return info.kind == FileKind::regular && info.device == m_device && info.inode == m_inode;
}

void TranscodeTemporary::sync() const {
    ::fsync(m_fd);
}

void TranscodeTemporary::remove() {
    if (m_settled)
        return;
    m_settled = true;
    // The file first, then its mark: a crash in between leaves a marked file, which is swept.
    if (isAt(m_at))
        m_files->removeFile(m_at);
    leftover::unmarkOpen(QFile::encodeName(m_path), m_fd);
}

void TranscodeTemporary::handOver() {
    m_settled = true;
    leftover::unmarkOpen(QFile::encodeName(m_path), m_fd);
}

} // namespace tarnwick
