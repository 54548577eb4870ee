#include "platform/LeftoverMark.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tarnwick::leftover {

namespace {

constexpr const char* kAttribute = "user.tarnwick.writer";
constexpr QByteArrayView kSidecarSuffix = ".tarnwick-mark";
constexpr qsizetype kMaxMark = 4096;
// The sidecar of a name reserved before its folder or file was made: it marks what was made there.
constexpr QByteArrayView kReserved = "reserved";

QByteArray readSmallFile(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat st {};
    QByteArray bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        bytes.resize(kMaxMark);
        ssize_t got;
        do {
            got = ::read(fd, bytes.data(), size_t(bytes.size()));
        } while (got < 0 && errno == EINTR);
        bytes.resize(got > 0 ? got : 0);
    }
    ::close(fd);
    return bytes;
}

// Eight hexadecimal digits of the boot's id tell one boot from another well enough: a writer is
// also known by its process id and start time.
constexpr qsizetype kBootIdLength = 8;

QByteArray shortBootId(QByteArrayView id) {
    return id.first(std::min(id.size(), kBootIdLength)).toByteArray();
}

QByteArray bootId() {
    static const QByteArray id = shortBootId(readSmallFile("/proc/sys/kernel/random/boot_id").trimmed());
    return id;
}

struct ProcessState {
    quint64 startTicks = 0; // 0 when unreadable
    char state = 0;
};

// Fields 3 and 22 of /proc/<pid>/stat: the state, and the start time in clock ticks since boot.
ProcessState processState(qint64 pid) {
    const QByteArray stat = readSmallFile("/proc/" + QByteArray::number(pid) + "/stat");
    const qsizetype close = stat.lastIndexOf(')'); // the command name may hold spaces and ')'
    if (close < 0)
        return {};
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    constexpr qsizetype kStartField = 22 - 3; // fields after the name start at number 3
    if (fields.size() <= kStartField || fields[0].size() != 1)
        return {};
    return {fields[kStartField].toULongLong(), fields[0][0]};
}

quint64 startTicksOf(qint64 pid) {
    return processState(pid).startTicks;
}

// A process that ended but whose parent has not reaped it yet is still listed: it is gone all the
// same ('x' is the dead state's letter on some older kernels).
bool hasEnded(char state) {
    return state == 'Z' || state == 'X' || state == 'x';
}

QByteArray sidecarText(const struct stat& st, const QByteArray& value) {
    return QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino)) + '\n' +
           value;
}

bool writeSidecar(const QByteArray& path, const struct stat& st, const QByteArray& value) {
    // One there that names this very file marks it already; any other is stale: the temporary
    // was just created exclusively.
    if (markOf(path))
        return false;
    return writeWhole(sidecarPath(path), sidecarText(st, value));
}

constexpr QByteArrayView kUnfinishedPrefix = ".tarnwick-new-";

// A few letters that tell two of one writer's unfinished writes apart.
QByteArray randomLetters() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local quint64 state = quint64(::getpid()) * 0x9E3779B97F4A7C15ull ^ quint64(::time(nullptr)) ^
                                 quint64(reinterpret_cast<quintptr>(&state));
    QByteArray letters(6, Qt::Uninitialized);
    for (char& letter : letters) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        letter = kLetters[(state >> 33) % (sizeof kLetters - 1)];
    }
    return letters;
}

// The mark in `path`'s sidecar, when the sidecar names this very file.
std::optional<Mark> sidecarMark(const QByteArray& path, const struct stat& st) {
    const QByteArray text = readSmallFile(sidecarPath(path));
    const qsizetype newline = text.indexOf('\n');
    if (newline < 0)
        return std::nullopt;
    if (text.left(newline) == kReserved)
        return S_ISDIR(st.st_mode) || S_ISREG(st.st_mode) ? decode(QByteArrayView(text).sliced(newline + 1))
                                                          : std::nullopt;
    const QList<QByteArray> id = text.left(newline).split(' ');
    if (id.size() != 2 || id[0].toULongLong() != quint64(st.st_dev) ||
        id[1].toULongLong() != quint64(st.st_ino))
        return std::nullopt;
    return decode(QByteArrayView(text).sliced(newline + 1));
}

bool attributesUnsupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP || error == EPERM || error == EACCES;
}

} // namespace

Writer currentWriter() {
    static const Writer first{qint64(::getpid()), startTicksOf(::getpid()), bootId()};
    const qint64 pid = ::getpid();
    if (first.pid == pid)
        return first;
    return {pid, startTicksOf(pid), bootId()}; // a forked child writes as itself
}

bool isRunning(const Writer& writer) {
    if (writer.pid <= 0 || writer.bootId != bootId())
        return false;
    if (writer == currentWriter())
        return true;
    const ProcessState now = processState(writer.pid);
    return now.startTicks != 0 && now.startTicks == writer.startTicks && !hasEnded(now.state);
}

bool RunningWriters::isRunning(const Writer& writer) {
    const QByteArray key =
        QByteArray::number(writer.pid) + ' ' + QByteArray::number(writer.startTicks) + ' ' + writer.bootId;
    if (const auto known = m_known.constFind(key); known != m_known.cend())
        return *known;
    const bool running = leftover::isRunning(writer);
    m_known.insert(key, running);
    return running;
}

QByteArray encode(const Mark& mark) {
    return "c " + QByteArray::number(mark.writer.pid, 36) + ' ' +
           QByteArray::number(mark.writer.startTicks, 36) + ' ' + mark.writer.bootId + ' ' + mark.subject;
}

std::optional<Mark> decode(QByteArrayView text) {
    // "c <pid> <start ticks> <boot id> <subject…>", the numbers in base 36, or the longer "1 …" of
    // earlier versions in decimal with the whole boot id: the subject may hold spaces.
    QList<QByteArrayView> fields;
    qsizetype from = 0;
    while (fields.size() < 4) {
        const qsizetype space = text.indexOf(' ', from);
        if (space < 0)
            return std::nullopt;
        fields.append(text.sliced(from, space - from));
        from = space + 1;
    }
    if (fields[0] != "c" && fields[0] != "1")
        return std::nullopt;
    const int base = fields[0] == "c" ? 36 : 10;
    bool pidOk = false;
    bool startOk = false;
    Mark mark;
    mark.writer.pid = fields[1].toLongLong(&pidOk, base);
    mark.writer.startTicks = fields[2].toULongLong(&startOk, base);
    mark.writer.bootId = shortBootId(fields[3]);
    mark.subject = text.sliced(from).toByteArray();
    if (!pidOk || !startOk || mark.writer.pid <= 0 || mark.writer.bootId.isEmpty())
        return std::nullopt;
    return mark;
}

QByteArray sidecarPath(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return path.left(slash + 1) + '.' + path.mid(slash + 1) + kSidecarSuffix;
}

QByteArray sidecarTarget(const QByteArray& sidecar) {
    const qsizetype slash = sidecar.lastIndexOf('/');
    const QByteArray name = sidecar.mid(slash + 1);
    if (name.size() <= 1 + kSidecarSuffix.size() || !name.startsWith('.') || !name.endsWith(kSidecarSuffix))
        return {};
    return sidecar.left(slash + 1) + name.mid(1, name.size() - 1 - kSidecarSuffix.size());
}

bool mark(const QByteArray& path, int fd, QByteArrayView subject) {
    const QByteArray value = encode({currentWriter(), subject.toByteArray()});
    const int rc =
        fd >= 0 ? ::fsetxattr(fd, kAttribute, value.constData(), size_t(value.size()), 0)
                : ::lsetxattr(path.constData(), kAttribute, value.constData(), size_t(value.size()), 0);
    if (rc == 0)
        return true;
    if (!attributesUnsupported(errno))
        return false;
    struct stat st {};
    if ((fd >= 0 ? ::fstat(fd, &st) : ::lstat(path.constData(), &st)) != 0)
        return false;
    return writeSidecar(path, st, value);
}

namespace {

// The sidecar that reserves `path`'s name for what is made there next; false with errno set
// (EEXIST when something has the name). Only the name itself is ever taken: a sidecar of ours left
// there alone marks nothing, and is written over.
bool reserveName(const QByteArray& path, QByteArrayView value) {
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return writeWhole(sidecarPath(path), QByteArray(kReserved.toByteArray() + '\n' + value));
}

} // namespace

bool makeMarkedFolder(const QByteArray& path, QByteArrayView subject) {
    const QByteArray value = encode({currentWriter(), subject.toByteArray()});
    if (!reserveName(path, value))
        return false;
    const QByteArray sidecar = sidecarPath(path);
    if (::mkdir(path.constData(), 0700) != 0) {
        const int failure = errno;
        ::unlink(sidecar.constData());
        errno = failure;
        return false;
    }
    if (::lsetxattr(path.constData(), kAttribute, value.constData(), size_t(value.size()), 0) == 0)
        ::unlink(sidecar.constData());
    return true;
}

int createMarkedFile(const QByteArray& path, QByteArrayView value, mode_t mode, bool& sidecar) {
    // Plainly taken: no sidecar of ours is ever put beside another program's file.
    if (!reserveName(path, value))
        return -1;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        const int failure = errno;
        ::unlink(sidecarPath(path).constData());
        errno = failure;
        return -1;
    }
    sidecar = !setAttribute(fd, value);
    if (!sidecar)
        ::unlink(sidecarPath(path).constData());
    return fd;
}

bool markAttribute(int fd, QByteArrayView subject) {
    return setAttribute(fd, attributeValue(subject));
}

QByteArray attributeValue(QByteArrayView subject) {
    return encode({currentWriter(), subject.toByteArray()});
}

bool setAttribute(int fd, QByteArrayView value) {
    return ::fsetxattr(fd, kAttribute, value.constData(), size_t(value.size()), 0) == 0;
}

std::optional<Mark> attributeMarkOf(const QByteArray& path) {
    char value[kMaxMark];
    const ssize_t length = ::lgetxattr(path.constData(), kAttribute, value, sizeof value);
    return length > 0 ? decode(QByteArrayView(value, length)) : std::nullopt;
}

std::optional<Mark> markOf(const QByteArray& path) {
    QByteArray value(kMaxMark, Qt::Uninitialized);
    const ssize_t length = ::lgetxattr(path.constData(), kAttribute, value.data(), size_t(value.size()));
    if (length > 0)
        return decode(QByteArrayView(value.constData(), length));
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return std::nullopt;
    return sidecarMark(path, st);
}

void unmark(const QByteArray& path) {
    if (::lremovexattr(path.constData(), kAttribute) == 0)
        return;
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && sidecarMark(path, st))
        ::unlink(sidecarPath(path).constData());
}

void unmarkOpen(const QByteArray& path, int fd) {
    ::fremovexattr(fd, kAttribute);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && sidecarMark(path, st))
        ::unlink(sidecarPath(path).constData());
}

void unmarkRenamed(const QByteArray& path, const QByteArray& formerPath) {
    if (::lremovexattr(path.constData(), kAttribute) == 0)
        return;
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return;
    // The sidecar still carries the temporary's name, and names this file's device and inode.
    if (sidecarMark(formerPath, st))
        ::unlink(sidecarPath(formerPath).constData());
    else if (sidecarMark(path, st))
        ::unlink(sidecarPath(path).constData());
}

Verdict judge(const QByteArray& path, RunningWriters* writers) {
    const auto running = [writers](const Writer& writer) {
        return writers ? writers->isRunning(writer) : isRunning(writer);
    };
    const QByteArray target = sidecarTarget(path);
    if (!target.isEmpty()) {
        struct stat st {};
        if (::lstat(target.constData(), &st) == 0) {
            // A sidecar whose file is still there goes with that file's verdict.
            if (sidecarMark(target, st))
                return judge(target, writers);
        }
        // An orphan: the sidecar itself names its writer.
        const QByteArray text = readSmallFile(path);
        const qsizetype newline = text.indexOf('\n');
        const std::optional<Mark> orphan =
            newline < 0 ? std::nullopt : decode(QByteArrayView(text).sliced(newline + 1));
        if (!orphan)
            return Verdict::notOurs;
        return running(orphan->writer) ? Verdict::inUse : Verdict::abandoned;
    }
    const std::optional<Mark> found = markOf(path);
    if (!found)
        return Verdict::notOurs;
    return running(found->writer) ? Verdict::inUse : Verdict::abandoned;
}

bool writeWhole(const QByteArray& path, QByteArrayView text, bool sync) {
    const Writer writer = currentWriter();
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray unfinished = path.left(slash + 1) + kUnfinishedPrefix +
                                  QByteArray::number(writer.pid, 36) + '-' +
                                  QByteArray::number(writer.startTicks, 36) + '-' + randomLetters();
    const int fd = ::open(unfinished.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool written = ::write(fd, text.constData(), size_t(text.size())) == ssize_t(text.size());
    int error = written ? 0 : (errno != 0 ? errno : EIO);
    if (written && sync && ::fdatasync(fd) != 0) {
        written = false;
        error = errno;
    }
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    // Replacing is the point: only a sidecar or note of ours is ever at that name.
    if (written && ::rename(unfinished.constData(), path.constData()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        ::unlink(unfinished.constData());
        errno = error;
    }
    return written;
}

std::optional<Writer> unfinishedWriteOf(QByteArrayView name) {
    if (!name.startsWith(kUnfinishedPrefix))
        return std::nullopt;
    const QList<QByteArray> fields = name.sliced(kUnfinishedPrefix.size()).toByteArray().split('-');
    bool ok[2] = {};
    const Writer writer{fields.value(0).toLongLong(&ok[0], 36), fields.value(1).toULongLong(&ok[1], 36),
                        bootId()};
    return fields.size() == 3 && ok[0] && ok[1] ? std::optional(writer) : std::nullopt;
}

bool isInterruptedEmpty(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0)
        return false;
    if (markOf(path))
        return false; // judged by its mark
    return ::time(nullptr) - st.st_mtim.tv_sec > interruptedAfterSeconds;
}

} // namespace tarnwick::leftover
