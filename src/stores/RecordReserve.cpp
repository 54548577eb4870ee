#include "stores/RecordReserve.h"

#include "platform/FullWrite.h"

#include "platform/AppLog.h"
#include "platform/ByteCountText.h"
#include "platform/FileMoveSupport.h"
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

namespace {

// A regular file of ours with no other name: a link, a folder, a device or a user's file linked
// into its place is never written, truncated or removed.
bool isOurs(const struct ::stat& st) {
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1;
}

void logStranger(const QString& path) {
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true))
        AppLog::warning(QStringLiteral("Records: ") + path +
                        QStringLiteral(" is not a file of ours; it is left alone and the records go without "
                                       "a reserve"));
}

// Something other than the reserve in its place (never followed through a link).
bool strangerInPlace(const QString& path) {
    struct ::stat st {};
    if (::lstat(native(path).constData(), &st) != 0 || isOurs(st))
        return false;
    logStranger(path);
    return true;
}

// The reserve for writing, checked on the descriptor; -1 when it is missing or not ours.
int openOurs(const QString& path, struct ::stat& st) {
    const int fd = ::open(native(path).constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            logStranger(path);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !isOurs(st)) {
        ::close(fd);
        logStranger(path);
        return -1;
    }
    return fd;
}

// What a write of `bytes` takes: whole blocks, the one it begins in, a little for the file
// system's own (extents).
qint64 roomFor(qint64 bytes) {
    constexpr qint64 step = 64 * 1024;
    return (std::max<qint64>(bytes, 0) + 16 * 1024 + step - 1) / step * step;
}

void logReleased(qint64 bytes) {
    AppLog::warning(
        QStringLiteral("Records: the disk of the store folder is full; the records draw on the ") +
        formatFileByteCount(bytes) +
        QStringLiteral(" kept in reserve for the records, as they need it (made again when "
                       "there is room)"));
}

} // namespace

qint64 RecordReserve::held(const QString& folder) {
    struct ::stat st {};
    if (::lstat(native(path(folder)).constData(), &st) != 0)
        return 0;
    if (!isOurs(st)) {
        logStranger(path(folder));
        return 0;
    }
    return qint64(st.st_blocks) * 512;
}

bool RecordReserve::ensure(const QString& folder) {
    const qint64 bytes = size();
    if (strangerInPlace(path(folder)))
        return false;
    if (held(folder) >= bytes)
        return true;
    const std::optional<qint64> free = availableCapacity(folder);
    if (!free || *free < 2 * bytes)
        return false;
    // Made whole beside its place, then renamed: a kill never leaves a reserve that holds less. A
    // part a kill left goes first (a link there is removed, never followed).
    const QString part = path(folder) + QStringLiteral(".part");
    ::unlink(native(part).constData());
    const int fd =
        ::open(native(part).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool made = allocate(fd, bytes) && ::fsync(fd) == 0;
    ::close(fd);
    if (!made || strangerInPlace(path(folder)) ||
        ::rename(native(part).constData(), native(path(folder)).constData()) != 0) {
        ::unlink(native(part).constData());
        return false;
    }
    filemove::syncFolder(native(folder));
    return true;
}

bool RecordReserve::releaseFor(const QString& folder, qint64 bytes, bool end) {
    struct ::stat st {};
    const int fd = openOurs(path(folder), st);
    if (fd < 0)
        return false;
    const qint64 before = qint64(st.st_size);
    const qint64 floor = end ? 0 : std::min(endPart, before);
    const qint64 after = std::max(floor, before - roomFor(bytes));
    const bool shrunk = after < before && ::ftruncate(fd, off_t(after)) == 0;
    ::close(fd);
    if (!shrunk)
        return false;
    // Given up whole (a part a kill left while it was made goes too).
    if (after == 0) {
        ::unlink(native(path(folder)).constData());
        ::unlink(native(path(folder) + QStringLiteral(".part")).constData());
    }
    // The one line for the condition: when the reserve was whole.
    if (before >= size())
        logReleased(before);
    return true;
}

} // namespace tarnwick
