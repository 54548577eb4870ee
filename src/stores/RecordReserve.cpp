#include "stores/RecordReserve.h"

#include "platform/FullWrite.h"

#include "platform/AppLog.h"
#include "platform/ByteCountText.h"
#include "platform/VolumeCapacity.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

std::atomic<qint64> testSize{0};

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool fillWithZeros(int fd, qint64 bytes) {
    const QByteArray block(64 * 1024, '\0');
    for (qint64 done = 0; done < bytes; done += block.size()) {
        if (!writeFully(fd, block.constData(), std::min<qint64>(block.size(), bytes - done)))
            return false;
    }
    return true;
}

// Every block allocated now, so that deleting the file later gives them back whatever the file
// system (posix_fallocate where it is supported, zeros written elsewhere).
bool allocate(int fd, qint64 bytes) {
    const int error = ::posix_fallocate(fd, 0, off_t(bytes));
    if (error == 0)
        return true;
    if (error != EOPNOTSUPP && error != EINVAL)
        return false;
    return fillWithZeros(fd, bytes);
}

void syncFolder(const QString& folder) {
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString RecordReserve::path(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral(".records_reserve"));
}

qint64 RecordReserve::size() {
    const qint64 bytes = testSize.load();
    return bytes > 0 ? bytes : defaultSize;
}

void RecordReserve::setSizeForTesting(qint64 bytes) {
    testSize.store(bytes);
}

qint64 RecordReserve::held(const QString& folder) {
    struct ::stat st {};
    if (::stat(native(path(folder)).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return qint64(st.st_blocks) * 512;
}

bool RecordReserve::ensure(const QString& folder) {
    const qint64 bytes = size();
    if (held(folder) >= bytes)
        return true;
    const std::optional<qint64> free = availableCapacity(folder);
    if (!free || *free < 2 * bytes)
        return false;
    // Made whole beside its place, then renamed: a kill never leaves a reserve that holds less.
    const QString part = path(folder) + QStringLiteral(".part");
    const int fd = ::open(native(part).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool made = allocate(fd, bytes) && ::fsync(fd) == 0;
    ::close(fd);
    if (!made || ::rename(native(part).constData(), native(path(folder)).constData()) != 0) {
        ::unlink(native(part).constData());
        return false;
    }
    syncFolder(folder);
    return true;
}

namespace {

void logReleased(qint64 bytes) {
    AppLog::warning(QStringLiteral("Records: the disk of the store folder is full; released the ") +
                    formatFileByteCount(bytes) +
                    QStringLiteral(" kept in reserve for the records (made again when there is room)"));
}

} // namespace

bool RecordReserve::releaseForRecords(const QString& folder) {
    const qint64 before = held(folder);
    if (before <= endPart)
        return false;
    const QByteArray file = native(path(folder));
    const int fd = ::open(file.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool shrunk = ::ftruncate(fd, off_t(endPart)) == 0;
    ::close(fd);
    if (!shrunk)
        return release(folder);
    logReleased(before - held(folder));
    return true;
}

bool RecordReserve::release(const QString& folder) {
    const qint64 freed = held(folder);
    // A part left by a kill while it was made goes too.
    ::unlink(native(path(folder) + QStringLiteral(".part")).constData());
    if (freed <= 0 || ::unlink(native(path(folder)).constData()) != 0)
        return false;
    // The end part alone was logged when the rest went.
    if (freed > endPart)
        logReleased(freed);
    return true;
}

} // namespace tarnwick
