#include "platform/NoReplaceRename.h"

#include "platform/AppLog.h"
#include "platform/LeftoverMark.h"
#include "platform/SameFile.h"

#include <QCryptographicHash>
#include <QFile>
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
// The note is written under this name before anything stands at `to`, and renamed to the one above
// the moment the claim does: only that name proves the empty item at `to` the claim its writer made.
// A kill before that leaves the name to whoever takes it next.
constexpr QByteArrayView kAheadSuffix = ".tarnwick-ahead.tarnwick-claim";
constexpr QByteArrayView kNoteKind = "claim";
// An earlier version's note, written once before its claim, whatever its name: it proves no claim.
constexpr QByteArrayView kUntoldKind = "rename";
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

// ".<name><suffix>" beside `to`, a name too long for that cut and told apart by a hash of the whole.
QByteArray notePath(const QByteArray& to, QByteArrayView suffix) {
    const qsizetype slash = to.lastIndexOf('/');
    const QByteArray folder = to.left(slash + 1);
    const QByteArray name = to.mid(slash + 1);
    if (1 + name.size() + suffix.size() <= kNameMax)
        return folder + '.' + name + suffix;
    // Cut on a byte: the note's name is ours alone, and it names `to` in full inside.
    const QByteArray hash = QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex().left(16);
    return folder + '.' + name.left(kNameMax - 2 - hash.size() - suffix.size()) + '~' + hash + suffix;
}

// Where the note of a rename stands: ahead of its claim, then beside it.
struct NoteAt {
    QByteArray ahead;
    QByteArray taken;
    bool claimed = false;

    explicit NoteAt(const QByteArray& to) : ahead(claimNoteAheadPath(to)), taken(claimNotePath(to)) {}
    const QByteArray& path() const { return claimed ? taken : ahead; }
};

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

// Right after the claim is made, in one step: until then the note proves nothing at `to` ours.
// Should it fail, the rename still goes on; only a kill before that ends leaves a claim kept as
// another's.
void noteClaimed(NoteAt& note) {
    note.claimed = ::rename(note.ahead.constData(), note.taken.constData()) == 0;
}

void reach(const NoReplaceCalls& calls, NoReplaceCalls::Step step) {
    if (calls.reached)
        calls.reached(step);
}

// The notes already beside `to`: a killed rename's, settled now; false when a writer still runs.
bool settleEarlierNotes(const NoteAt& at) {
    leftover::RunningWriters writers;
    for (const QByteArray& note : {at.ahead, at.taken}) {
        struct stat st {};
        if (::lstat(note.constData(), &st) == 0 && !resolveClaimNote(note, writers) &&
            ::lstat(note.constData(), &st) == 0)
            return false;
    }
    return true;
}

// Claims `to` with an empty item of our own, which a plain rename then replaces: the claim
// refuses an existing name, and rename refuses to put a folder over a filled one.
int claimThenRename(const QByteArray& from, const QByteArray& to, bool folder, NoteAt& note,
                    const NoReplaceCalls& calls) {
    struct stat claim {};
    if (folder) {
        if (::mkdir(to.constData(), 0700) != 0)
            return errno;
        noteClaimed(note);
    } else {
        const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return errno;
        noteClaimed(note);
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
int linkThenUnlink(const QByteArray& from, const QByteArray& to, const struct stat& source, NoteAt& note,
                   const NoReplaceCalls& calls) {
    if ((calls.link ? calls.link(from, to) : ::link(from.constData(), to.constData())) != 0) {
        const int linkError = errno;
        return linkRefused(linkError) ? claimThenRename(from, to, false, note, calls) : linkError;
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
    NoteAt note(to);
    if (!settleEarlierNotes(note))
        return EEXIST;
    if (!writeNote(note.ahead, from, source, to))
        return errno != 0 ? errno : EIO;
    reach(calls, NoReplaceCalls::Step::noted);
    const int error = S_ISDIR(source.st_mode) ? claimThenRename(from, to, true, note, calls)
                                              : linkThenUnlink(from, to, source, note, calls);
    ::unlink(note.path().constData());
    return error;
}

QByteArray nameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

struct Note {
    leftover::Mark mark;
    QByteArray from;
    QByteArray to;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool folder = false;
    bool claimed = false; // the empty item at `to` is the claim the note's writer made
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
    if (lines.size() != 5 || !lines[4].isEmpty() || (lines[0] != kNoteKind && lines[0] != kUntoldKind))
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
    // Named beside the claim by its writer the moment the claim stood; an earlier version's never.
    note.claimed = lines[0] == kNoteKind && nameOf(path) == nameOf(claimNotePath(note.to));
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

// The note at `path` is one the fallback writes beside `to` (ahead of the claim or beside it),
// wherever the two paths were spelled from.
bool isNoteOf(const QByteArray& path, const QByteArray& to) {
    const QByteArray expected = claimNotePath(to);
    const auto folderOf = [](const QByteArray& p) {
        const qsizetype slash = p.lastIndexOf('/');
        return slash < 0 ? QByteArray(".") : p.left(std::max<qsizetype>(slash, 1));
    };
    if (nameOf(path) != nameOf(expected) && nameOf(path) != nameOf(notePath(to, kAheadSuffix)))
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

// The rename never came: the empty item at `to` goes when the note, or what `vouch` knows of its
// writer, proves it the claim its writer made, and is kept otherwise, as another's (the name was
// free when the note was written).
void settleClaim(const Note& note, const struct stat& to, const ClaimVouch& vouch) {
    const bool empty = S_ISDIR(to.st_mode) || (S_ISREG(to.st_mode) && to.st_size == 0);
    if (!empty)
        return;
    if (!note.claimed && !(vouch && vouch(note.mark.writer, note.to))) {
        AppLog::info(QStringLiteral("Kept ") + QFile::decodeName(note.to) +
                     QStringLiteral(": nothing shows it is the claim an interrupted rename noted"));
        return;
    }
    if (S_ISDIR(to.st_mode))
        ::rmdir(note.to.constData()); // only ever an empty folder
    else
        ::unlink(note.to.constData());
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
    return notePath(to, kNoteSuffix);
}

QByteArray claimNoteAheadPath(const QByteArray& to) {
    return notePath(to, kAheadSuffix);
}

bool isClaimNoteName(QByteArrayView name) {
    return name.startsWith('.') && name.endsWith(kNoteSuffix) && name.size() > 1 + kNoteSuffix.size();
}

bool resolveClaimNote(const QByteArray& path, leftover::RunningWriters& writers, const ClaimVouch& vouch) {
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
            settleClaim(*note, to, vouch);
        }
    }
    return ::unlink(path.constData()) == 0;
}

} // namespace tarnwick
