#include "platform/CrossDeviceMove.h"

#include "platform/AtomicReplace.h"

#include "platform/LeftoverMark.h"
#include "platform/NoReplaceRename.h"
#include "platform/SameFile.h"
#include "platform/UnnamedFileLink.h"

#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace tarnwick {

using namespace filemove;

namespace {

// Large enough that the per-chunk progress call and cancel check cost nothing measurable.
constexpr qint64 kChunkBytes = 8 * 1024 * 1024;
constexpr qint64 kWritebackLag = 2 * kChunkBytes;

// Closes a descriptor once; close errors matter only for the written copy, which closes itself.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    int closeChecked() {
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

qint64 readFully(int fd, char* buffer, qint64 count) {
    qint64 done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, buffer + done, size_t(count - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

bool sameTimes(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Keeps owner (when allowed), mode and times; the owner first, since chown clears set-id bits.
// `current` is the copy as it is: what already matches costs no call (most moves keep their owner).
int applyAttributes(int fd, const struct stat& info, const struct stat& current, const FileMoveSteps& steps) {
    if (const int error = keepOwnerAndMode(fd, info, current, steps.ownerAndMode); error != 0)
        return error;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if ((steps.setTimes ? steps.setTimes(fd, times) : ::futimens(fd, times)) != 0)
        return errno;
    return 0;
}

int applyFolderAttributes(const QByteArray& path, const struct stat& info) {
    if (::lchown(path.constData(), info.st_uid, info.st_gid) != 0 && !cannotHoldOwnerOrMode(errno))
        return errno;
    if (::chmod(path.constData(), info.st_mode & 07777) != 0 && !cannotHoldOwnerOrMode(errno))
        return errno;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    return 0;
}

bool sameContents(const QByteArray& first, const QByteArray& second) {
    Descriptor a(::open(first.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    Descriptor b(::open(second.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!a.isOpen() || !b.isOpen())
        return false;
    std::vector<char> left(1 << 20);
    std::vector<char> right(1 << 20);
    for (;;) {
        const qint64 got = readFully(a.get(), left.data(), qint64(left.size()));
        if (got < 0 || readFully(b.get(), right.data(), qint64(right.size())) != got)
            return false;
        if (got == 0)
            return true;
        if (std::memcmp(left.data(), right.data(), size_t(got)) != 0)
            return false;
    }
}

qint64 nanoseconds(const struct timespec& t) {
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Whether a copy's time may still be the one it was given, on a volume of `clock`: to the volume's
// step, moved by whole quarter hours where it keeps local time, and on a clock of whole seconds
// anything (a FUSE FAT driver writes a rename's time, shown once the volume is mounted again).
bool copyKeptTime(qint64 givenNs, qint64 nowNs, const VolumeClock& clock) {
    return clock.orShownBy(givenNs).wholeSeconds() || sameModifiedTime(givenNs, nowNs, clock);
}

// The copy keeps the original's time as its own volume's clock does (2 s on FAT, 10 ms on exFAT),
// and its bytes.
bool sameFile(const QByteArray& source, const struct stat& info, const QByteArray& copy,
              const struct stat& copyInfo, const VolumeClock& copyClock) {
    return S_ISREG(info.st_mode) && S_ISREG(copyInfo.st_mode) && copyInfo.st_size == info.st_size &&
           copyKeptTime(nanoseconds(info.st_mtim), nanoseconds(copyInfo.st_mtim), copyClock) &&
           sameContents(source, copy);
}

QByteArray linkTarget(const QByteArray& path) {
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t length = ::readlink(path.constData(), target.data(), size_t(target.size()));
    if (length < 0 || length >= target.size())
        return {};
    target.truncate(length);
    return target;
}

// Every item still in the source is in the copy, alike: files byte for byte, links to the same target.
bool treeIsInCopy(const QList<TreeEntry>& entries, const QByteArray& source, const QByteArray& copy,
                  const VolumeClock& copyClock) {
    for (const TreeEntry& entry : entries) {
        const QByteArray twin = joinPath(copy, entry.relative);
        struct stat info {};
        if (::lstat(twin.constData(), &info) != 0)
            return false;
        switch (entry.kind) {
        case TreeEntry::Kind::folder:
            if (!S_ISDIR(info.st_mode))
                return false;
            break;
        case TreeEntry::Kind::file:
            if (!sameFile(joinPath(source, entry.relative), entry.info, twin, info, copyClock))
                return false;
            break;
        case TreeEntry::Kind::link: {
            const QByteArray target = linkTarget(joinPath(source, entry.relative));
            if (!S_ISLNK(info.st_mode) || target.isEmpty() || linkTarget(twin) != target)
                return false;
            break;
        }
        }
    }
    return true;
}

// Names the source on a copy, so that a retry of a move stopped after the copy was renamed into
// place (and before the source was gone) finishes it instead of leaving two copies. Not the
// leftover mark: that comes off as soon as the copy is the real item, so no sweep can take it.
// File systems without user attributes take a note beside the copy instead (below).
constexpr const char* kMovedFromAttribute = "user.tarnwick.moved-from";

void nameSource(const QByteArray& copy, int fd, const QByteArray& source) {
    if (fd >= 0)
        ::fsetxattr(fd, kMovedFromAttribute, source.constData(), size_t(source.size()), 0);
    else
        ::lsetxattr(copy.constData(), kMovedFromAttribute, source.constData(), size_t(source.size()), 0);
}

// Where the file system keeps no user attributes (FAT, exFAT) the copy names its source in a note
// beside its final name instead: "copy <size> <ns>", the copy's size and time (what a remount keeps
// of it), then the mark of its writer and the source. The note is written (and synced) before the
// copy takes that name, so that no kill leaves the copy there without it. A note of the version
// before named the copy's device and inode on its first line, the source on the second.
constexpr QByteArrayView kSourceNoteSuffix = ".tarnwick-from";
constexpr QByteArrayView kCopyLine = "copy ";

QByteArray sourceNotePath(const QByteArray& copy) {
    return parentOf(copy) + "/." + lastComponent(copy) + kSourceNoteSuffix;
}

struct SourceNote {
    QByteArray source;
    std::optional<leftover::Writer> writer; // none in a note of the version before
    bool namesCopy = false;                 // the item at the copy's name is the copy it names
};

std::optional<SourceNote> readSourceNote(const QByteArray& copy) {
    Descriptor note(::open(sourceNotePath(copy).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!note.isOpen())
        return std::nullopt;
    QByteArray text(16384, Qt::Uninitialized);
    const qint64 got = readFully(note.get(), text.data(), text.size());
    text.truncate(std::max<qint64>(got, 0));
    struct stat st {};
    const bool there = ::lstat(copy.constData(), &st) == 0;
    const qsizetype first = text.indexOf('\n');
    if (first < 0)
        return std::nullopt;
    const QList<QByteArray> fields = text.left(first).split(' ');
    SourceNote found;
    if (!text.startsWith(kCopyLine)) {
        if (fields.size() != 2)
            return std::nullopt;
        found.source = text.mid(first + 1);
        found.namesCopy = there && fields[0].toULongLong() == quint64(st.st_dev) &&
                          fields[1].toULongLong() == quint64(st.st_ino);
        return found;
    }
    const qsizetype second = text.indexOf('\n', first + 1);
    const std::optional<leftover::Mark> mark =
        second < 0 ? std::nullopt : leftover::decode(text.mid(first + 1, second - first - 1));
    if (fields.size() != 3 || !mark || !text.endsWith('\n'))
        return std::nullopt;
    found.writer = mark->writer;
    found.source = QByteArray::fromPercentEncoding(text.mid(second + 1).chopped(1));
    found.namesCopy =
        there && S_ISDIR(st.st_mode) == (fields[1] == "d") &&
        (S_ISDIR(st.st_mode) || fields[1].toLongLong() == qint64(st.st_size)) &&
        copyKeptTime(fields[2].toLongLong(), nanoseconds(st.st_mtim), VolumeClock::ofPath(copy));
    return found;
}

bool noteNamesSource(const QByteArray& copy, const QByteArray& source) {
    const std::optional<SourceNote> note = readSourceNote(copy);
    return note && note->namesCopy && note->source == source;
}

bool namesSource(const QByteArray& copy, const QByteArray& source) {
    QByteArray named(source.size() + 1, Qt::Uninitialized);
    const ssize_t length =
        ::lgetxattr(copy.constData(), kMovedFromAttribute, named.data(), size_t(named.size()));
    if (length >= 0)
        return length == source.size() && named.left(length) == source;
    return (errno == ENOTSUP || errno == EOPNOTSUPP) && noteNamesSource(copy, source);
}

// The note for `temporary`, to be placed at `destination`, where the copy cannot name its source
// itself. True when a note was written (it goes again if the copy never takes that name).
bool noteSourceBeside(const QByteArray& temporary, const QByteArray& destination, const QByteArray& source) {
    struct stat st {};
    if (namesSource(temporary, source) || ::lstat(temporary.constData(), &st) != 0)
        return false;
    const QByteArray path = sourceNotePath(destination);
    // A folder's size changes with its contents on some file systems: its time alone names it.
    const QByteArray size = S_ISDIR(st.st_mode) ? QByteArray("d") : QByteArray::number(qint64(st.st_size));
    const QByteArray text = kCopyLine.toByteArray() + size + ' ' +
                            QByteArray::number(nanoseconds(st.st_mtim)) + '\n' + leftover::attributeValue() +
                            '\n' + source.toPercentEncoding("/") + '\n';
    return leftover::writeWhole(path, text, true);
}

void forgetSource(const QByteArray& copy) {
    if (::lremovexattr(copy.constData(), kMovedFromAttribute) != 0)
        ::unlink(sourceNotePath(copy).constData());
}

// Fills the template's trailing XXXXXX, as mkostemp would.
void randomizeName(QByteArray& temporary) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local quint64 state = quint64(::getpid()) * 0x9E3779B97F4A7C15ull ^ quint64(::time(nullptr));
    for (qsizetype i = temporary.size() - 6; i < temporary.size(); ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        temporary[i] = kLetters[(state >> 33) % (sizeof kLetters - 1)];
    }
}

// The temporary copy of a file, marked (and naming its source) before it has a name: an unnamed
// file (O_TMPFILE) is marked, then linked under a fresh hidden name, so no kill can leave an
// unmarked temporary behind. Where the file system has no unnamed files: a named one, its name
// reserved by its mark first.
int createTemporary(QByteArray& temporary, const QByteArray& source) {
    const QByteArray pattern = temporary;
    const int fd = ::open(parentOf(temporary).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        randomizeName(temporary);
        const bool marked = leftover::mark(temporary, fd, source);
        nameSource(temporary, fd, source);
        for (int attempt = 0; attempt < 100; ++attempt) {
            const int error = linkUnnamedFile(fd, temporary);
            if (error == 0)
                return fd;
            if (error != EEXIST)
                break;
            randomizeName(temporary); // the mark sits on the file (a sidecar keeps the first name)
        }
        // No link to it (no /proc, say): the unnamed file goes with its descriptor.
        ::close(fd);
        if (marked)
            ::unlink(leftover::sidecarPath(temporary).constData());
        temporary = pattern;
    }
    // Its mark's sidecar reserves the name first where the attribute is refused: no kill leaves it
    // unmarked under that name.
    const QByteArray value = leftover::attributeValue(source);
    for (int attempt = 0; attempt < 100; ++attempt) {
        randomizeName(temporary);
        bool sidecar = false;
        const int named = leftover::createMarkedFile(temporary, value, 0600, sidecar);
        if (named >= 0) {
            nameSource(temporary, named, source);
            return named;
        }
        if (errno != EEXIST)
            break;
        temporary = pattern;
    }
    return -1;
}

// The temporary copy of a folder under a fresh hidden name, made with its mark; 0 or an errno.
int createTemporaryFolder(QByteArray& temporary, const QByteArray& destination, const QByteArray& source) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryTemplate(destination);
        randomizeName(temporary);
        if (leftover::makeMarkedFolder(temporary, source))
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// A temporary that never became the real item: it goes, with its mark's sidecar if it has one.
void discardTemporary(const QByteArray& temporary, bool folder) {
    if (folder)
        removeOwnTree(temporary);
    else
        ::unlink(temporary.constData());
    ::unlink(leftover::sidecarPath(temporary).constData());
}

FileOpStatus changedWhileMoving() {
    return FileOpStatus::failure(EBUSY, QStringLiteral("The file changed while it was being moved"));
}

} // namespace

CrossDeviceMove::CrossDeviceMove(const FileMoveSteps& steps, const FileOpProgress& progress,
                                 const std::atomic_bool* cancel)
    : m_steps(steps), m_progress(progress), m_cancel(cancel) {}

FileOpStatus CrossDeviceMove::run(const QByteArray& source, const QByteArray& destination,
                                  const struct stat& sourceInfo) {
    // Saves a whole copy when the name is plainly taken; the final rename still refuses a late one.
    struct stat existing {};
    if (::lstat(destination.constData(), &existing) == 0) {
        if (std::optional<FileOpStatus> resumed =
                resumeInterrupted(source, sourceInfo, destination, existing))
            return *resumed;
        return errnoStatus(EEXIST);
    }
    if (S_ISREG(sourceInfo.st_mode))
        return moveFile(source, destination, sourceInfo);
    if (S_ISLNK(sourceInfo.st_mode))
        return moveLink(source, destination);
    return moveFolder(source, destination);
}

FileOpStatus CrossDeviceMove::sourceRemovalFailed(int code) const {
    return FileOpStatus::failure(
        code, QStringLiteral("Copied to the destination, but the original could not be removed: ") +
                  describeErrno(code));
}

FileOpStatus CrossDeviceMove::moveFile(const QByteArray& source, const QByteArray& destination,
                                       const struct stat& info) {
    m_total = info.st_size;
    // Ours: a sweep may take it once this process is gone. Where the mark cannot be written the
    // move goes on without it.
    QByteArray temporary = temporaryTemplate(destination);
    Descriptor out(createTemporary(temporary, source));
    if (!out.isOpen())
        return errnoStatus(errno);
    auto status = copyFileInto(source, info, out.get());
    if (status) {
        if (const int error = out.closeChecked(); error != 0)
            status = errnoStatus(error);
    }
    const bool noted = status && noteSourceBeside(temporary, destination, source);
    if (status)
        status = place(temporary, destination);
    if (!status) {
        discardTemporary(temporary, false);
        if (noted)
            ::unlink(sourceNotePath(destination).constData());
        return status;
    }
    leftover::unmarkRenamed(destination, temporary);
    if (m_steps.removeSourceFile(source) != 0)
        return sourceRemovalFailed(errno);
    forgetSource(destination);
    return FileOpStatus::success();
}

std::optional<FileOpStatus> CrossDeviceMove::resumeInterrupted(const QByteArray& source,
                                                               const struct stat& sourceInfo,
                                                               const QByteArray& destination,
                                                               const struct stat& existing) {
    if (!namesSource(destination, source))
        return std::nullopt;
    const VolumeClock clock = VolumeClock::ofPath(destination);
    if (S_ISREG(sourceInfo.st_mode)) {
        if (!sameFile(source, sourceInfo, destination, existing, clock))
            return std::nullopt;
        if (m_steps.removeSourceFile(source) != 0)
            return sourceRemovalFailed(errno);
        m_total = m_done = sourceInfo.st_size;
    } else if (S_ISDIR(sourceInfo.st_mode) && S_ISDIR(existing.st_mode)) {
        // What is left of the source: the removal goes deepest first, so it is a subset of the copy.
        QList<TreeEntry> entries;
        if (!collectTree(source, entries) || !treeIsInCopy(entries, source, destination, clock))
            return std::nullopt;
        if (auto status = removeSourceTree(entries, source); !status)
            return status;
    } else {
        return std::nullopt;
    }
    leftover::unmark(destination); // stopped before it came off
    forgetSource(destination);
    if (m_progress)
        m_progress(m_done, m_total);
    return FileOpStatus::success();
}

bool CrossDeviceMove::isSourceNoteName(QByteArrayView name) {
    return name.startsWith('.') && name.endsWith(kSourceNoteSuffix) &&
           name.size() > 1 + kSourceNoteSuffix.size();
}

bool CrossDeviceMove::settleSourceNote(const QByteArray& note, leftover::RunningWriters& writers) {
    const QByteArray name = lastComponent(note);
    if (!isSourceNoteName(name))
        return false;
    const QByteArray copy = parentOf(note) + '/' + name.mid(1, name.size() - 1 - kSourceNoteSuffix.size());
    const std::optional<SourceNote> found = readSourceNote(copy);
    if (!found) {
        if (!leftover::isInterruptedEmpty(note))
            return false;
        return ::unlink(note.constData()) == 0;
    }
    // One of the version before: a remount may keep it from naming its copy, which is then not
    // proof of anything.
    if (!found->writer || writers.isRunning(*found->writer))
        return false;
    if (found->namesCopy) {
        struct stat st {};
        if (::lstat(found->source.constData(), &st) == 0)
            return false; // a move stopped before the original went: the start or a retry finishes it
        forgetSource(copy);
        return true;
    }
    return ::unlink(note.constData()) == 0; // the copy never took its name
}

bool CrossDeviceMove::finishedEarlier(const QByteArray& source, const QByteArray& destination) {
    if (!namesSource(destination, source))
        return false;
    leftover::unmark(destination);
    forgetSource(destination);
    return true;
}

FileOpStatus CrossDeviceMove::copyFileInto(const QByteArray& source, const struct stat& expected, int out) {
    Descriptor in(::open(source.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in.isOpen())
        return errnoStatus(errno);
    struct stat before {};
    if (::fstat(in.get(), &before) != 0)
        return errnoStatus(errno);
    if (!S_ISREG(before.st_mode) || before.st_ino != expected.st_ino || before.st_dev != expected.st_dev ||
        before.st_size != expected.st_size || !sameTimes(before.st_mtim, expected.st_mtim))
        return changedWhileMoving();
    if (before.st_size > kChunkBytes)
        ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    if (auto status = copyContents(in.get(), out, before.st_size); !status)
        return status;
    struct stat after {};
    struct stat written {};
    if (::fstat(in.get(), &after) != 0 || ::fstat(out, &written) != 0)
        return errnoStatus(errno);
    if (after.st_size != before.st_size || !sameTimes(after.st_mtim, before.st_mtim))
        return changedWhileMoving();
    if (written.st_size != before.st_size)
        return FileOpStatus::failure(EIO, QStringLiteral("The copy's size does not match the original"));
    if (const int error = applyAttributes(out, before, written, m_steps); error != 0)
        return errnoStatus(error);
    if (::fsync(out) != 0)
        return errnoStatus(errno);
    return FileOpStatus::success();
}

FileOpStatus CrossDeviceMove::copyContents(int in, int out, qint64 size) {
    qint64 copied = 0;
    while (copied < size) {
        if (cancelled())
            return errnoStatus(ECANCELED);
        const qint64 count = m_steps.copyChunk(in, out, std::min(kChunkBytes, size - copied));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return errnoStatus(errno);
        }
        if (count == 0)
            return FileOpStatus::failure(EIO,
                                         QStringLiteral("The file became shorter while it was being moved"));
        // Writes back as it copies, a few chunks behind, so the disk works while we read and
        // the closing fsync finds little left to do. A file of one chunk leaves it all to the fsync.
        if (size > kChunkBytes)
            ::sync_file_range(out, copied, count, SYNC_FILE_RANGE_WRITE);
        if (copied >= kWritebackLag)
            ::sync_file_range(out, copied - kWritebackLag, count,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER);
        copied += count;
        m_done += count;
        if (m_progress)
            m_progress(m_done, m_total);
    }
    return FileOpStatus::success();
}

FileOpStatus CrossDeviceMove::place(const QByteArray& temporary, const QByteArray& destination) {
    if (m_steps.beforeFinalRename)
        m_steps.beforeFinalRename(QString::fromLocal8Bit(destination));
    // Only the copy goes: the fallback's removal of an old name is a link's, never the source's.
    NoReplaceCalls calls = m_steps.renameCalls();
    calls.removeOldName = {};
    if (const int error = renameNoReplace(temporary, destination, calls); error != 0)
        return errnoStatus(error);
    if (const int error = syncFolder(parentOf(destination)); error != 0)
        return sourceRemovalFailed(error);
    return FileOpStatus::success();
}

FileOpStatus CrossDeviceMove::moveLink(const QByteArray& source, const QByteArray& destination) {
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t length = ::readlink(source.constData(), target.data(), size_t(target.size()));
    if (length < 0)
        return errnoStatus(errno);
    if (length >= target.size())
        return FileOpStatus::failure(ENAMETOOLONG, describeErrno(ENAMETOOLONG));
    target.truncate(length);
    // mkostemp gives a unique name; the link takes its place.
    QByteArray temporary = temporaryTemplate(destination);
    Descriptor placeholder(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!placeholder.isOpen())
        return errnoStatus(errno);
    ::unlink(temporary.constData());
    if (::symlink(target.constData(), temporary.constData()) != 0)
        return errnoStatus(errno);
    leftover::mark(temporary, -1, source);
    if (auto status = place(temporary, destination); !status) {
        discardTemporary(temporary, false);
        return status;
    }
    leftover::unmarkRenamed(destination, temporary);
    if (m_steps.removeSourceFile(source) != 0)
        return sourceRemovalFailed(errno);
    return FileOpStatus::success();
}

FileOpStatus CrossDeviceMove::moveFolder(const QByteArray& source, const QByteArray& destination) {
    QList<TreeEntry> entries;
    if (auto status = collectTree(source, entries); !status)
        return status;
    for (const TreeEntry& entry : entries) {
        if (entry.kind == TreeEntry::Kind::file)
            m_total += entry.info.st_size;
    }
    // As for a file: marked from its first moment (swept once we are gone), and recognised by a
    // retry once it is in place.
    QByteArray temporary;
    if (const int error = createTemporaryFolder(temporary, destination, source); error != 0)
        return errnoStatus(error);
    nameSource(temporary, -1, source);
    auto status = copyTreeInto(entries, source, temporary);
    if (status)
        status = verifyTree(entries, temporary);
    const bool noted = status && noteSourceBeside(temporary, destination, source);
    if (status)
        status = place(temporary, destination);
    if (!status) {
        discardTemporary(temporary, true);
        if (noted)
            ::unlink(sourceNotePath(destination).constData());
        return status;
    }
    leftover::unmarkRenamed(destination, temporary);
    if (auto removed = removeSourceTree(entries, source); !removed)
        return removed;
    forgetSource(destination);
    return FileOpStatus::success();
}

FileOpStatus CrossDeviceMove::copyTreeInto(const QList<TreeEntry>& entries, const QByteArray& source,
                                           const QByteArray& copy) {
    for (const TreeEntry& entry : entries) {
        if (entry.relative.isEmpty())
            continue;
        // Between files: a cancel here leaves nothing but the temporary folder, removed by the caller.
        if (cancelled())
            return errnoStatus(ECANCELED);
        const QByteArray from = joinPath(source, entry.relative);
        const QByteArray to = joinPath(copy, entry.relative);
        if (entry.kind == TreeEntry::Kind::folder) {
            if (::mkdir(to.constData(), 0700) != 0)
                return errnoStatus(errno);
        } else if (entry.kind == TreeEntry::Kind::link) {
            QByteArray target(4096, Qt::Uninitialized);
            const ssize_t length = ::readlink(from.constData(), target.data(), size_t(target.size()));
            if (length < 0 || length >= target.size())
                return errnoStatus(length < 0 ? errno : ENAMETOOLONG);
            target.truncate(length);
            if (::symlink(target.constData(), to.constData()) != 0)
                return errnoStatus(errno);
        } else {
            Descriptor out(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (!out.isOpen())
                return errnoStatus(errno);
            if (auto status = copyFileInto(from, entry.info, out.get()); !status)
                return status;
            if (const int error = out.closeChecked(); error != 0)
                return errnoStatus(error);
        }
    }
    // Folders last and deepest first: creating their contents changed their times.
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        if (it->kind != TreeEntry::Kind::folder)
            continue;
        const QByteArray path = joinPath(copy, it->relative);
        if (const int error = applyFolderAttributes(path, it->info); error != 0)
            return errnoStatus(error);
        if (const int error = syncFolder(path); error != 0)
            return errnoStatus(error);
    }
    return FileOpStatus::success();
}

FileOpStatus CrossDeviceMove::verifyTree(const QList<TreeEntry>& entries, const QByteArray& copy) {
    QList<TreeEntry> copied;
    if (auto status = collectTree(copy, copied); !status)
        return status;
    QHash<QByteArray, const TreeEntry*> byPath;
    for (const TreeEntry& entry : copied)
        byPath.insert(entry.relative, &entry);
    const auto mismatch = [] {
        return FileOpStatus::failure(EIO, QStringLiteral("The copied folder does not match the original"));
    };
    if (copied.size() != entries.size())
        return mismatch();
    for (const TreeEntry& entry : entries) {
        const TreeEntry* twin = byPath.value(entry.relative);
        if (!twin || twin->kind != entry.kind)
            return mismatch();
        if (entry.kind == TreeEntry::Kind::file && twin->info.st_size != entry.info.st_size)
            return mismatch();
    }
    return FileOpStatus::success();
}

FileOpStatus CrossDeviceMove::removeSourceTree(const QList<TreeEntry>& entries, const QByteArray& source) {
    // Only what was copied: anything added to the source meanwhile keeps its folder, and the
    // rmdir of that folder fails, which reports the move as incomplete.
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        const QByteArray path = joinPath(source, it->relative);
        const int result =
            it->kind == TreeEntry::Kind::folder ? ::rmdir(path.constData()) : m_steps.removeSourceFile(path);
        if (result != 0)
            return sourceRemovalFailed(errno);
    }
    return FileOpStatus::success();
}

} // namespace tarnwick
