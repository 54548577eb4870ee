#include "stores/RecordReserve.h"

#include "platform/FullWrite.h"

#include "platform/AppLog.h"
#include "platform/AtomicReplace.h"
#include "platform/ByteCountText.h"
#include "platform/FileMoveSupport.h"
#include "platform/NoReplaceRename.h"
#include "platform/VolumeCapacity.h"
#include "stores/RecordJournal.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <linux/falloc.h>
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

// Every block allocated now, ahead of the file's end (its size stays 0), so that the file can be
// handed to the journal whole; where the file system cannot, a file of zeros (posix_fallocate, or
// zeros written).
bool allocate(int fd, qint64 bytes) {
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes)) == 0)
        return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return false;
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

// The whole blocks a write of `bytes` takes (at least one: a write that found the disk full
// needs one more).
qint64 blocksFor(qint64 bytes, const struct ::stat& st) {
    const qint64 block = st.st_blksize > 0 ? qint64(st.st_blksize) : 4096;
    return (std::max<qint64>(bytes, 1) + block - 1) / block * block;
}

qint64 roomAheadOf(const struct ::stat& st) {
    const qint64 block = st.st_blksize > 0 ? qint64(st.st_blksize) : 4096;
    const qint64 used = (qint64(st.st_size) + block - 1) / block * block;
    return std::max<qint64>(0, qint64(st.st_blocks) * 512 - used);
}

// Gives back [from, from + bytes) of a file's blocks, its size kept.
bool punch(int fd, qint64 from, qint64 bytes) {
    return bytes > 0 &&
           ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(from), off_t(bytes)) == 0;
}

void logReleased(qint64 bytes) {
    AppLog::warning(
        QStringLiteral("Records: the disk of the store folder is full; the records draw on the ") +
        formatFileByteCount(bytes) +
        QStringLiteral(" kept in reserve for the records, as they need it (made again when "
                       "there is room)"));
}

// The journal's file that takes its lines now, where a reserve handed over went.
QString journalTail(const QString& folder) {
    return RecordJournal::filesOf(RecordJournal::pathIn(folder)).constLast();
}

// With `end`, the stores of a run's end take from the room ahead of the journal's end: its last
// blocks, given back.
bool releaseFromJournal(const QString& folder, qint64 bytes) {
    const int fd =
        ::open(native(journalTail(folder)).constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct ::stat st {};
    bool freed = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const qint64 give = std::min(roomAheadOf(st), blocksFor(bytes, st));
        freed = punch(fd, qint64(st.st_blocks) * 512 - give, give);
    }
    ::close(fd);
    return freed;
}

} // namespace

qint64 RecordReserve::held(const QString& folder) {
    qint64 bytes = 0;
    struct ::stat st {};
    if (::lstat(native(path(folder)).constData(), &st) == 0) {
        if (isOurs(st))
            bytes += qint64(st.st_blocks) * 512;
        else
            logStranger(path(folder));
    }
    if (::stat(native(journalTail(folder)).constData(), &st) == 0 && S_ISREG(st.st_mode))
        bytes += roomAheadOf(st);
    return bytes;
}

qint64 RecordReserve::roomAhead(int fd) {
    struct ::stat st {};
    return ::fstat(fd, &st) == 0 ? roomAheadOf(st) : 0;
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
    if (!allocate(fd, bytes) || strangerInPlace(path(folder))) {
        ::close(fd);
        ::unlink(native(part).constData());
        return false;
    }
    if (replaceAtomically(fd, native(part), native(path(folder))) != 0) {
        ::unlink(native(part).constData());
        return false;
    }
    return true;
}

int RecordReserve::handOver(const QString& folder, const QString& to) {
    struct ::stat st {};
    const int fd = openOurs(path(folder), st);
    if (fd < 0) {
        errno = ENOENT;
        return -1;
    }
    const qint64 room = roomAheadOf(st);
    // A reserve of zeros (no room ahead of its end) is released block by block instead.
    if (st.st_size != 0 || room == 0) {
        ::close(fd);
        errno = ENOENT;
        return -1;
    }
    const QByteArray from = native(path(folder));
    const QByteArray name = native(to);
    struct ::stat there {};
    int error = renameNoReplace(from, name);
    if (error == 0 && (::lstat(name.constData(), &there) != 0 || there.st_dev != st.st_dev ||
                       there.st_ino != st.st_ino || ::fcntl(fd, F_SETFL, O_APPEND) != 0))
        error = errno == 0 ? EEXIST : errno;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    filemove::syncFolder(native(folder));
    if (room >= size())
        logReleased(room);
    return fd;
}

bool RecordReserve::releaseFor(const QString& folder, qint64 bytes, bool end) {
    struct ::stat st {};
    const int fd = openOurs(path(folder), st);
    if (fd < 0)
        return end && releaseFromJournal(folder, bytes);
    // A reserve of zeros shrinks from its end; one with its room ahead of its end gives its last
    // blocks back. Never more than the write needs: another writer on the disk would take the rest.
    const bool ahead = st.st_size == 0;
    const qint64 before = ahead ? qint64(st.st_blocks) * 512 : qint64(st.st_size);
    const qint64 floor = end ? 0 : std::min(endPart, before);
    const qint64 after = std::max(floor, before - blocksFor(bytes, st));
    const bool shrunk =
        after < before && (ahead ? punch(fd, after, before - after) : ::ftruncate(fd, off_t(after)) == 0);
    ::close(fd);
    if (!shrunk)
        return end && releaseFromJournal(folder, bytes);
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
