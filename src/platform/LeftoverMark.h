#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

#include <optional>
#include <sys/types.h>

namespace tarnwick::leftover {

// Only what this program wrote is ours to remove. Every temporary it creates (a transcode output,
// a cross-device copy, a .trashinfo in flight) carries a mark naming the process that wrote it; a
// leftover is swept only when it carries the mark and that process is gone.
//
// The mark is the extended attribute "user.tarnwick.writer". Where the file system keeps no user
// attributes (FAT, exFAT, some shares) it is a hidden sidecar file beside the temporary,
// ".<name>.tarnwick-mark", naming the temporary's device and inode, or reserving its name before it
// was made. The value is kept short ("c", the writer's process id and start time in base 36, the
// first eight digits of its boot's id, then the subject): on ext4 a value of up to about 56 bytes
// stays in the file's inode, where a longer one takes a block of its own to set and to remove.

// A process id, told apart from a later process that got the same id by its start time and boot.
struct Writer {
    qint64 pid = 0;
    quint64 startTicks = 0;
    QByteArray bootId; // its first eight characters: a later boot's differ

    friend bool operator==(const Writer&, const Writer&) = default;
};

struct Mark {
    Writer writer;
    QByteArray subject; // what the writer said the temporary is for (a source's identity, say)
};

Writer currentWriter();
// The writer still runs (this process counts as running); one that ended and is not yet reaped
// does not.
bool isRunning(const Writer& writer);

// The same, asked once per writer: a sweep meets the marks of many files from a few writers.
class RunningWriters {
public:
    bool isRunning(const Writer& writer);

private:
    QHash<QByteArray, bool> m_known;
};

QByteArray encode(const Mark& mark);
std::optional<Mark> decode(QByteArrayView text);

// Marks `path` (opened as `fd`, or -1 for a folder) as written by this process. False when
// neither the attribute nor the sidecar could be written: the caller then cannot prove the
// temporary is its own later, and should say so or do without.
bool mark(const QByteArray& path, int fd, QByteArrayView subject = {});
// Marks the open file `fd` by the attribute alone: false where the file system keeps no user
// attributes. For a file that has no name yet (O_TMPFILE), which no sidecar could name.
bool markAttribute(int fd, QByteArrayView subject = {});
// The same in two steps: the attribute's value made on a thread that may read this process's
// identity, set later by one that must not (a helper that can outlive the program's statics).
QByteArray attributeValue(QByteArrayView subject = {});
bool setAttribute(int fd, QByteArrayView value);
// Creates the folder `path` (mode 0700) already marked as written by this process: a sidecar that
// reserves the name comes first, so that no kill leaves the folder without a mark; where the file
// system keeps user attributes the attribute then takes the sidecar's place. A sidecar of ours left
// alone at the name (a kill) is written over: it holds no name. False with errno set (EEXIST: the
// name is taken).
bool makeMarkedFolder(const QByteArray& path, QByteArrayView subject = {});
// The mark `path` carries (attribute or sidecar), if any.
std::optional<Mark> markOf(const QByteArray& path);
// The mark of its attribute alone: one call, for a look through many files that knows their
// sidecars from the folder's listing.
std::optional<Mark> attributeMarkOf(const QByteArray& path);
// Creates the file `path` exclusively for writing, already marked with `value` (attributeValue()):
// the same reserving sidecar comes first, and makes way for the attribute where the file system
// keeps one (`sidecar` false), else stays as the mark. The descriptor, or -1 with errno set
// (EEXIST: the name is taken).
int createMarkedFile(const QByteArray& path, QByteArrayView value, mode_t mode, bool& sidecar);
// Takes the mark off a temporary that became a real file (renamed into place), sidecar included.
void unmark(const QByteArray& path);
// The same for the file open as `fd` that was marked at `path`, wherever it is now (renamed into
// place, or removed): its attribute, and the sidecar at `path` when that names this file.
void unmarkOpen(const QByteArray& path, int fd);
// The same for a temporary renamed from `formerPath` to `path`: a sidecar keeps the former name.
void unmarkRenamed(const QByteArray& path, const QByteArray& formerPath);

// The sidecar's name for `path`, and the reverse (empty when `path` is not a sidecar).
QByteArray sidecarPath(const QByteArray& path);
QByteArray sidecarTarget(const QByteArray& sidecar);

enum class Verdict {
    notOurs,   // no mark: never touched
    inUse,     // ours, but the writer still runs
    abandoned, // ours and the writer is gone: may be removed
};
// For a sidecar whose temporary is gone, the sidecar itself is judged. `writers` (may be null)
// answers for the writers a sweep has asked about already.
Verdict judge(const QByteArray& path, RunningWriters* writers = nullptr);

// Writes `text` as the small file `path` (a sidecar or a note of ours), written over when it is
// there, and never seen empty: it is written (and synced, with `sync`) under a name of its own that
// names its writer, ".tarnwick-new-<pid>-<start>-<random>" beside `path`, then renamed to `path`.
// A kill leaves at most that, which a sweep takes once its writer is gone (FAT and exFAT have no way
// to make a file with its contents at once). False with errno set.
bool writeWhole(const QByteArray& path, QByteArrayView text, bool sync = false);
// The writer of a file writeWhole() left under its own name, as that name says; none for another
// name. Its boot is taken to be this one: a writer of another boot that had the same process id
// and start time counts as running, and its file stays.
std::optional<Writer> unfinishedWriteOf(QByteArrayView name);

// An empty file under a name only this program makes (a sidecar, a note, a temporary copy) that
// carries no mark: its writer was stopped between creating it and writing it, which takes no time
// at all, so one older than this is abandoned and holds nothing. Where the file system has no way
// to make a file with its contents at once (FAT, exFAT), a kill can leave one.
constexpr int interruptedAfterSeconds = 30;
bool isInterruptedEmpty(const QByteArray& path);

} // namespace tarnwick::leftover
