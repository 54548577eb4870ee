#include "platform/NoReplaceRename.h"

#include "platform/LeftoverMark.h"
#include "platform/SameFile.h"

#include <QCryptographicHash>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

constexpr QByteArrayView kNoteSuffix = ".tarnwick-claim";
constexpr QByteArrayView kNoteKind = "rename";
constexpr qsizetype kNameMax = 255;
constexpr qsizetype kNoteBytes = 16384;

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

qint64 modifiedNs(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Removes `path` only while it is still the file we put there.
void unlinkIfStill(const QByteArray& path, const struct stat& ours) {
    struct stat now {};
    if (::lstat(path.constData(), &now) == 0 && sameFile(now, ours))
        ::unlink(path.constData());
}

// The note that comes before a claim or a second link at `to`; false when it could not be written,
// and the rename is then refused rather than leave at `to` what no sweep could tell as ours.
bool writeNote(const QByteArray& note, const QByteArray& from, const struct stat& source,
               const QByteArray& to) {
    const QByteArray subject = QByteArray::number(qint64(source.st_size)) + ' ' +
                               QByteArray::number(modifiedNs(source)) +
                               (S_ISDIR(source.st_mode) ? " d" : " f");
    const QByteArray text = kNoteKind.toByteArray() + '\n' + leftover::attributeValue(subject) + '\n' +
                            from.toPercentEncoding("/") + '\n' + to.toPercentEncoding("/") + '\n';
    // Written over: one left by a killed rename of ours was settled by the caller.
    return leftover::writeWhole(note, text);
}

void reach(const NoReplaceCalls& calls, NoReplaceCalls::Step step) {
    if (calls.reached)
        calls.reached(step);
}

// A note already beside `to`: a killed rename's, settled now; false when its writer still runs.
bool settleEarlierNote(const QByteArray& note) {
    struct stat st {};
    if (::lstat(note.constData(), &st) != 0)
        return true;
    leftover::RunningWriters writers;
    return resolveClaimNote(note, writers) || ::lstat(note.constData(), &st) != 0;
}

// Claims `to` with an empty item of our own, which a plain rename then replaces: the claim
// refuses an existing name, and rename refuses to put a folder over a filled one.
int claimThenRename(const QByteArray& from, const QByteArray& to, bool folder, const NoReplaceCalls& calls) {
    struct stat claim {};
    if (folder) {
        if (::mkdir(to.constData(), 0700) != 0)
            return errno;
    } else {
        const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return errno;
        const bool known = ::fstat(fd, &claim) == 0;
        ::close(fd);
        if (!known) {
            const int error = errno;
            ::unlink(to.constData());
            return error;
        }
    }
    reach(calls, NoReplaceCalls::Step::claimed);
    const int error = ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    if (error != 0) {
        if (folder)
            ::rmdir(to.constData()); // only ever removes an empty folder
        else
            unlinkIfStill(to, claim);
    }
    return error == ENOTEMPTY ? EEXIST : error;
}

// The file system has no hard links here, or refuses one to a file of another owner.
bool linkRefused(int error) {
    return error == EPERM || error == ENOTSUP || error == ENOSYS;
}

// A second name for the file at `to`, then its old name goes; a claim where links are refused.
int linkThenUnlink(const QByteArray& from, const QByteArray& to, const struct stat& source,
                   const NoReplaceCalls& calls) {
    if ((calls.link ? calls.link(from, to) : ::link(from.constData(), to.constData())) != 0) {
        const int linkError = errno;
        return linkRefused(linkError) ? claimThenRename(from, to, false, calls) : linkError;
    }
    reach(calls, NoReplaceCalls::Step::linked);
    const int removed = calls.removeOldName ? calls.removeOldName(from) : ::unlink(from.constData());
    if (removed == 0)
        return 0;
    const int removeError = errno;
    // Our second name goes again, so the file is where it was; its data lives on through `from`.
    unlinkIfStill(to, source);
    return removeError;
}

// What the fallback puts at `to` is noted beside it first, and the note goes once the rename is
// done or undone.
int noteThenRename(const QByteArray& from, const QByteArray& to, const struct stat& source,
                   const NoReplaceCalls& calls) {
    struct stat existing {};
    if (::lstat(to.constData(), &existing) == 0)
        return EEXIST;
    const QByteArray note = claimNotePath(to);
    if (!settleEarlierNote(note))
        return EEXIST;
    if (!writeNote(note, from, source, to))
        return errno != 0 ? errno : EIO;
    reach(calls, NoReplaceCalls::Step::noted);
    const int error = S_ISDIR(source.st_mode) ? claimThenRename(from, to, true, calls)
                                              : linkThenUnlink(from, to, source, calls);
    ::unlink(note.constData());
    return error;
}

struct Note {
    leftover::Mark mark;
    QByteArray from;
    QByteArray to;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool folder = false;
};

std::optional<Note> readNote(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    QByteArray text(kNoteBytes, Qt::Uninitialized);
    const ssize_t got = ::read(fd, text.data(), size_t(text.size()));
    ::close(fd);
    text.resize(got > 0 ? got : 0);
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() != 5 || !lines[4].isEmpty() || lines[0] != kNoteKind)
        return std::nullopt;
    const std::optional<leftover::Mark> mark = leftover::decode(lines[1]);
    if (!mark)
        return std::nullopt;
    const QList<QByteArray> subject = mark->subject.split(' ');
    bool ok[2] = {};
    Note note{*mark,
              QByteArray::fromPercentEncoding(lines[2]),
              QByteArray::fromPercentEncoding(lines[3]),
              subject.value(0).toLongLong(&ok[0]),
              subject.value(1).toLongLong(&ok[1]),
              subject.value(2) == "d"};
    if (subject.size() != 3 || !ok[0] || !ok[1] || note.from.isEmpty() || note.to.isEmpty())
        return std::nullopt;
    return note;
}

// `from` is still the item the note names: the rename that would have taken it never came.
bool stillNoted(const Note& note, const struct stat& from) {
    if (S_ISDIR(from.st_mode) != note.folder)
        return false;
    return note.folder
               ? sameModifiedTime(modifiedNs(from), note.modifiedNs)
               : qint64(from.st_size) == note.size && sameModifiedTime(modifiedNs(from), note.modifiedNs);
}

// The note at `path` is the one the fallback writes beside `to`, wherever the two paths were
// spelled from.
bool isNoteOf(const QByteArray& path, const QByteArray& to) {
    const QByteArray expected = claimNotePath(to);
    const auto folderOf = [](const QByteArray& p) {
        const qsizetype slash = p.lastIndexOf('/');
        return slash < 0 ? QByteArray(".") : p.left(std::max<qsizetype>(slash, 1));
    };
    if (expected.mid(expected.lastIndexOf('/') + 1) != path.mid(path.lastIndexOf('/') + 1))
        return false;
    struct stat a {};
    struct stat b {};
    return ::stat(folderOf(expected).constData(), &a) == 0 && ::stat(folderOf(path).constData(), &b) == 0 &&
           sameFile(a, b);
}

// A note that holds nothing to go by: its writer was stopped before it wrote it.
bool isStaleUnreadable(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::time(nullptr) - st.st_mtim.tv_sec > leftover::interruptedAfterSeconds;
}

} // namespace

int NoReplaceCalls::systemRename(const QByteArray& from, const QByteArray& to) {
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
}

int renameNoReplace(const QByteArray& from, const QByteArray& to, const NoReplaceCalls& calls) {
    const int renamed = calls.rename ? calls.rename(from, to) : NoReplaceCalls::systemRename(from, to);
    if (renamed == 0)
        return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP)
        return error;
    // No RENAME_NOREPLACE on this file system.
    struct stat source {};
    if (::lstat(from.constData(), &source) != 0)
        return errno;
    return noteThenRename(from, to, source, calls);
}

QByteArray claimNotePath(const QByteArray& to) {
    const qsizetype slash = to.lastIndexOf('/');
    const QByteArray folder = to.left(slash + 1);
    const QByteArray name = to.mid(slash + 1);
    if (1 + name.size() + kNoteSuffix.size() <= kNameMax)
        return folder + '.' + name + kNoteSuffix;
    // Cut on a byte: the note's name is ours alone, and it names `to` in full inside.
    const QByteArray hash = QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex().left(16);
    return folder + '.' + name.left(kNameMax - 2 - hash.size() - kNoteSuffix.size()) + '~' + hash +
           kNoteSuffix;
}

bool isClaimNoteName(QByteArrayView name) {
    return name.startsWith('.') && name.endsWith(kNoteSuffix) && name.size() > 1 + kNoteSuffix.size();
}

bool resolveClaimNote(const QByteArray& path, leftover::RunningWriters& writers) {
    const std::optional<Note> note = readNote(path);
    if (!note) {
        if (!isStaleUnreadable(path))
            return false;
        ::unlink(path.constData());
        return true;
    }
    if (writers.isRunning(note->mark.writer) || !isNoteOf(path, note->to))
        return false;
    struct stat from {};
    struct stat to {};
    const bool fromThere = ::lstat(note->from.constData(), &from) == 0;
    if (fromThere && ::lstat(note->to.constData(), &to) == 0) {
        if (sameFile(from, to)) {
            if (!S_ISDIR(to.st_mode))
                ::unlink(note->to.constData()); // a second link: the file keeps its first name
        } else if (stillNoted(*note, from)) {
            if (S_ISDIR(to.st_mode))
                ::rmdir(note->to.constData()); // only ever an empty folder
            else if (S_ISREG(to.st_mode) && to.st_size == 0)
                ::unlink(note->to.constData());
        }
    }
    return ::unlink(path.constData()) == 0;
}

} // namespace tarnwick
