#include "platform/LinuxTrash.h"

#include "platform/FileMoveSupport.h"
#include "platform/LeftoverMark.h"
#include "platform/LeftoverRemoval.h"
#include "platform/LinuxFileOperations.h"
#include "platform/MountTable.h"
#include "platform/NoReplaceRename.h"
#include "platform/PendingTrashInfo.h"
#include "platform/ThreadPools.h"

#include <QFile>
#include <QTextBoundaryFinder>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnwick {

namespace {

FileOpStatus failure(int code) {
    return FileOpStatus::failure(code, QString::fromLocal8Bit(strerror(code)));
}

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

// Creates `path` and its missing parents with `mode`; true when it is a folder afterwards. Each one
// made is synced into its parent: an info synced there must not lose its folder in a power cut.
bool makeFolders(const QByteArray& path, mode_t mode) {
    return filemove::makeSyncedFolder(path, mode, true) == 0;
}

// files/ and info/ of a trash folder, made 0700 when missing.
bool prepareTrash(const QByteArray& root, quint64 device) {
    for (const char* sub : {"/files", "/info"}) {
        const QByteArray path = root + sub;
        if (filemove::makeSyncedFolder(path, 0700) != 0)
            return false;
        if (!LinuxTrash::isOwnFolder(path, device))
            return false;
    }
    return true;
}

QByteArray homeFolder() {
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty())
        return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? QByteArray(entry->pw_dir) : QByteArray();
}

constexpr QByteArrayView kInfoSuffix = ".trashinfo";
// Longer tails of a name are not kept whole when it must be shortened.
constexpr qsizetype kMaxExtension = 32;
// Shortening gives up below this many bytes for the name.
constexpr qsizetype kShortestLimit = 16;

// The longest name the trash's folders take.
qsizetype nameMaxOf(const QByteArray& root) {
    const long max = ::pathconf(QByteArray(root + "/info").constData(), _PC_NAME_MAX);
    return max > 0 ? qsizetype(max) : 255;
}

// The first bytes of `text` up to `maxBytes`, ending between two characters (grapheme clusters
// where the text is UTF-8, else never inside what would be a multi-byte sequence).
QByteArray cutAtCharacter(const QByteArray& text, qsizetype maxBytes) {
    if (maxBytes <= 0)
        return {};
    if (text.size() <= maxBytes)
        return text;
    const QString decoded = QString::fromUtf8(text);
    if (decoded.toUtf8() == text) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, decoded);
        qsizetype bytes = 0;
        qsizetype previous = 0;
        for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary()) {
            const qsizetype next =
                bytes + QStringView(decoded).sliced(previous, at - previous).toUtf8().size();
            if (next > maxBytes)
                break;
            bytes = next;
            previous = at;
        }
        return text.left(bytes);
    }
    qsizetype cut = maxBytes;
    while (cut > 0 && (uchar(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.left(cut);
}

// An item gone meanwhile is left to the rename, which reports it.
bool stillExpected(const QByteArray& path, const std::optional<FileIdentity>& expected) {
    struct stat st {};
    return ::lstat(path.constData(), &st) != 0 || LinuxFileOperations::isExpected(expected, st);
}

// A name is ours in a trash only while neither of its folders holds it: another program's item may
// sit in files/ without its info (that program's crash, a half-emptied Trash).
bool itemNameTaken(const QByteArray& root, const QByteArray& candidate) {
    struct stat st {};
    return ::lstat(QByteArray(root + "/files/" + candidate).constData(), &st) == 0;
}

FileIdentity identityOf(const struct stat& st) {
    return LinuxFileOperations::infoFrom(st).identity();
}

// The local time of now as a DeletionDate ("2026-12-08T14:03:07"), made once a second per
// thread: Qt's local date-time looks the time zone up again on every call.
QByteArray deletionDateNow() {
    thread_local time_t made = -1;
    thread_local QByteArray text;
    const time_t now = ::time(nullptr);
    if (now == made)
        return text;
    struct tm local {};
    if (!::localtime_r(&now, &local))
        return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1();
    char buffer[32];
    const int length =
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    text = QByteArray(buffer, length);
    made = now;
    return text;
}

// How many numbered names an info made ahead tries before the caller takes over.
constexpr int kAheadNumbers = 8;

// An info's contents, without its name in info/.
bool syncContents(const QByteArray& infoPath) {
    const int fd = ::open(infoPath.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fdatasync(fd) == 0;
    ::close(fd);
    return synced;
}

// The syncs of a group, from up to this many threads at once: the calls of each thread go one
// after another, each waiting for a cache flush, so fewer threads mean more flushes in a row; more
// than this only queued at the disk beside another program's writes.
constexpr int kSyncThreads = 16;

// The contents of every info in `infoPaths` and their folders synced, every call issued at once:
// one after another, each would wait for a cache flush of the disk's own, where calls that arrive
// together share one. Each info's write-back starts first, so no call waits behind another's data.
bool syncTogether(const QList<QByteArray>& infoPaths, const QList<QByteArray>& folders) {
    struct Group {
        struct Call {
            int fd = -1;       // an info, open for its data sync
            QByteArray folder; // or a folder, synced by its name
        };
        std::vector<Call> calls;
        std::atomic<size_t> next{0};
        std::atomic_bool failed{false};
        std::mutex mutex;
        std::condition_variable finished;
        size_t done = 0;

        ~Group() {
            for (const Call& call : calls) {
                if (call.fd >= 0)
                    ::close(call.fd);
            }
        }
        bool openInfo(const QByteArray& path) {
            const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                return false;
            calls.push_back({fd, {}});
            return true;
        }
        // Takes calls until none is left; any thread may run it, the caller too.
        void work() {
            size_t mine = 0;
            for (size_t i = next++; i < calls.size(); i = next++, ++mine) {
                const Call& call = calls[i];
                if (call.fd >= 0 ? ::fdatasync(call.fd) != 0 : filemove::syncFolder(call.folder) != 0)
                    failed = true;
            }
            if (mine == 0)
                return;
            const std::lock_guard lock(mutex);
            done += mine;
            finished.notify_all();
        }
    };
    const auto group = std::make_shared<Group>();
    group->calls.reserve(size_t(infoPaths.size() + folders.size()));
    for (const QByteArray& info : infoPaths) {
        if (!group->openInfo(info))
            return false;
        ::sync_file_range(group->calls.back().fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    for (const QByteArray& folder : folders)
        group->calls.push_back({-1, folder});
    // A helper that starts after the calls are all taken finds none left: only calls taken are
    // waited for, so a busy pool holds up nothing.
    const int helpers = std::min(kSyncThreads, int(group->calls.size())) - 1;
    for (int i = 0; i < helpers; ++i)
        trashInfoSyncPool().start([group] { group->work(); });
    group->work();
    std::unique_lock lock(group->mutex);
    group->finished.wait(lock, [&] { return group->done == group->calls.size(); });
    return !group->failed;
}

} // namespace

QByteArray LinuxTrash::mountTop(QByteArray path, quint64 device) {
    while (path != "/") {
        const QByteArray parent = parentOf(path);
        struct stat st {};
        if (::stat(parent.constData(), &st) != 0 || quint64(st.st_dev) != device)
            break;
        path = parent;
    }
    return path;
}

QByteArray LinuxTrash::nativePath(const QString& path) {
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    if (native.isEmpty() || native.startsWith('/'))
        return native;
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? QByteArray(cwd) + '/' + native : QByteArray();
}

bool LinuxTrash::isOwnFolder(const QByteArray& path, quint64 device) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           quint64(st.st_dev) == device;
}

// Renames the item next to its info made ahead. None when the rename failed: the info is gone
// again and the caller takes the usual way, which tells why.
std::optional<TrashOutcome> LinuxTrash::trashPrepared(const TrashInfoAhead::Prepared& ahead,
                                                      const QByteArray& native,
                                                      const std::optional<FileIdentity>& expected) {
    // The caller's own check may be long past: it can have waited for the sweep or the helper.
    if (expected && !stillExpected(native, expected)) {
        ::unlink(ahead.infoPath.constData());
        return TrashOutcome{FileOpStatus::changed(), {}, {}};
    }
    if (renameNoReplace(native, ahead.target, m_renameCalls) != 0) {
        ::unlink(ahead.infoPath.constData());
        return std::nullopt;
    }
    durable(Durable::itemRenamed, ahead.target);
    m_ahead.finished(ahead.infoPath);
    return TrashOutcome{{}, QFile::decodeName(ahead.target), QFile::decodeName(ahead.infoPath)};
}

// Each info's data synced on its own, never the rest of the disk (another program's writes are not
// ours to flush), with the names in each info folder, the calls of a group side by side so that
// their cache flushes merge. The infos were linked before: their folders' syncs may go alongside.
bool LinuxTrash::syncInfos(const QList<QByteArray>& infoPaths) {
    QList<QByteArray> folders;
    for (const QByteArray& info : infoPaths) {
        if (const QByteArray folder = parentOf(info); !folders.contains(folder))
            folders.append(folder);
    }
    if (!syncTogether(infoPaths, folders))
        return false;
    for (const QByteArray& info : infoPaths)
        durable(Durable::infoSynced, info);
    return true;
}

// One info on its own: its contents, then its name in info/.
bool LinuxTrash::syncInfo(const QByteArray& infoPath) {
    if (!syncContents(infoPath) || filemove::syncFolder(parentOf(infoPath)) != 0)
        return false;
    durable(Durable::infoSynced, infoPath);
    return true;
}

QByteArray LinuxTrash::homeTrashPath() {
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    if (dataHome.startsWith('/'))
        return dataHome + "/Trash";
    return homeFolder() + "/.local/share/Trash";
}

QByteArray LinuxTrash::trashInfo(const QByteArray& originalPath, const QByteArray& deletionDate) {
    return "[Trash Info]\nPath=" + originalPath.toPercentEncoding("/") + "\nDeletionDate=" + deletionDate +
           '\n';
}

QByteArray LinuxTrash::trashName(const QByteArray& name, int n, qsizetype limit) {
    const QByteArray suffix = n == 1 ? QByteArray() : " (" + QByteArray::number(n) + ')';
    // The extension is kept so the Trash view shows the right type.
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray stem = dot > 0 ? name.left(dot) : name;
    const QByteArray extension = dot > 0 ? name.mid(dot) : QByteArray();
    if (stem.size() + suffix.size() + extension.size() <= limit)
        return stem + suffix + extension;
    // Too long for the trash's folders: the desktop restores the original name from the info.
    if (extension.size() <= kMaxExtension && limit - suffix.size() - extension.size() >= 1)
        return cutAtCharacter(stem, limit - suffix.size() - extension.size()) + suffix + extension;
    const QByteArray cut = cutAtCharacter(name, limit - suffix.size());
    return cut.isEmpty() ? QByteArray() : cut + suffix;
}

QByteArray LinuxTrash::originalPath(const TrashDir& dir, const QByteArray& native, const QByteArray& name) {
    if (dir.topdir.isEmpty())
        return native;
    char resolved[PATH_MAX];
    if (!::realpath(parentOf(native).constData(), resolved))
        return native;
    const QByteArray canonical = QByteArray(resolved) + '/' + name;
    const QByteArray prefix = dir.topdir == "/" ? QByteArray("/") : dir.topdir + '/';
    return canonical.startsWith(prefix) ? canonical.mid(prefix.size()) : canonical;
}

LinuxTrash::~LinuxTrash() {
    m_ahead.expect({});
    endRunNotes();
}

void LinuxTrash::expect(const QStringList& paths) {
    QList<QByteArray> natives;
    natives.reserve(paths.size());
    for (const QString& path : paths) {
        if (QByteArray native = nativePath(path); !native.isEmpty() && !native.contains('\0'))
            natives.append(std::move(native));
    }
    m_ahead.expect(natives);
    // The run is over: every info it made ahead is claimed or gone, and every mark is off.
    if (natives.isEmpty())
        endRunNotes();
}

QByteArray LinuxTrash::runNoteName() {
    const leftover::Writer writer = leftover::currentWriter();
    return runNotePrefix + QByteArray::number(writer.pid, 36) + '-' +
           QByteArray::number(writer.startTicks, 36);
}

void LinuxTrash::noteRun(const QByteArray& root) {
    const std::lock_guard lock(m_mutex);
    if (m_runNotes.contains(root))
        return;
    // Beside the infos, whose folder's sync before their items' renames takes its name along. Where
    // it cannot be written the infos go all the same (they matter more): a kill then leaves marked
    // infos beside their items that no sweep looks at, real infos that keep their marks.
    if (leftover::writeWhole(root + "/info/" + runNoteName(), leftover::attributeValue()))
        m_runNotes.insert(root);
}

void LinuxTrash::endRunNotes() {
    QSet<QByteArray> notes;
    {
        const std::lock_guard lock(m_mutex);
        notes.swap(m_runNotes);
    }
    for (const QByteArray& root : std::as_const(notes))
        ::unlink(QByteArray(root + "/info/" + runNoteName()).constData());
}

std::optional<TrashInfoAhead::Prepared> LinuxTrash::prepareAhead(const QByteArray& native) {
    // Folders and items gone meanwhile take the usual way.
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    const quint64 device = quint64(st.st_dev);
    TrashDir dir;
    FileOpStatus error;
    if (!trashFor(device, native, dir, error))
        return std::nullopt;
    sweepOnce(dir.root);
    const QByteArray name = native.mid(native.lastIndexOf('/') + 1);
    const QByteArray original = originalPath(dir, native, name);
    noteRun(dir.root);
    PendingTrashInfo info(dir.root + "/info", trashInfo(original, deletionDateNow()),
                          PendingTrashInfo::itemOf(st), m_infoStock);
    for (int n = 1; n <= kAheadNumbers; ++n) {
        const QByteArray candidate = trashName(name, n, dir.nameMax - kInfoSuffix.size());
        if (candidate.isEmpty())
            return std::nullopt;
        if (itemNameTaken(dir.root, candidate))
            continue;
        const QByteArray infoPath = dir.root + "/info/" + candidate + kInfoSuffix;
        const int code = info.linkAhead(infoPath);
        if (code == 0) {
            if (m_stepHook)
                m_stepHook(Step::infoMadeAhead);
            return TrashInfoAhead::Prepared{
                infoPath, dir.root + "/files/" + candidate, dir.root, original, device, n, identityOf(st)};
        }
        if (code != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

void LinuxTrash::forget(quint64 device) {
    const std::lock_guard lock(m_mutex);
    m_byDevice.remove(device);
    m_homeDeviceKnown = false;
    m_homeReady = false;
}

bool LinuxTrash::homeTrashFor(quint64 device, TrashDir& dir, FileOpStatus& error) {
    const QByteArray home = homeTrashPath();
    if (home != m_homeTrash) {
        m_homeTrash = home;
        m_homeDeviceKnown = false;
        m_homeReady = false;
        m_byDevice.clear();
    }
    if (!m_homeDeviceKnown) {
        // The device of the trash, or of its nearest existing parent while it does not exist yet.
        QByteArray probe = home;
        struct stat st {};
        while (::stat(probe.constData(), &st) != 0 && probe != "/")
            probe = parentOf(probe);
        m_homeDevice = quint64(st.st_dev);
        m_homeDeviceKnown = true;
    }
    if (device != m_homeDevice)
        return false;
    if (m_homeReady) {
        dir = {home, {}, m_homeNameMax};
        return true;
    }
    if (!makeFolders(home, 0700) || !isOwnFolder(home, device) || !prepareTrash(home, device)) {
        error = FileOpStatus::failure(
            EACCES, QStringLiteral("The Trash folder %1 cannot be used").arg(QFile::decodeName(home)));
        return true;
    }
    m_homeReady = true;
    m_homeNameMax = nameMaxOf(home);
    dir = {home, {}, m_homeNameMax};
    return true;
}

bool LinuxTrash::trashFor(quint64 device, const QByteArray& absolutePath, TrashDir& dir,
                          FileOpStatus& error) {
    const std::lock_guard lock(m_mutex);
    if (homeTrashFor(device, dir, error))
        return error.ok();
    if (const auto cached = m_byDevice.constFind(device); cached != m_byDevice.cend()) {
        dir = *cached;
        return true;
    }
    char resolved[PATH_MAX];
    if (!::realpath(parentOf(absolutePath).constData(), resolved)) {
        error = failure(errno);
        return false;
    }
    const QByteArray topdir = mountTop(QByteArray(resolved), device);
    const QByteArray uid = QByteArray::number(::getuid());
    const QByteArray base = topdir == "/" ? QByteArray() : topdir;

    // $topdir/.Trash only when it is a real folder with the sticky bit (never a link).
    const QByteArray shared = base + "/.Trash";
    struct stat st {};
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        quint64(st.st_dev) == device) {
        const QByteArray own = shared + '/' + uid;
        if (filemove::makeSyncedFolder(own, 0700) == 0 && isOwnFolder(own, device) &&
            prepareTrash(own, device)) {
            dir = {own, topdir, nameMaxOf(own)};
            m_byDevice.insert(device, dir);
            return true;
        }
    }
    const QByteArray own = base + "/.Trash-" + uid;
    if (filemove::makeSyncedFolder(own, 0700) == 0 && isOwnFolder(own, device) && prepareTrash(own, device)) {
        dir = {own, topdir, nameMaxOf(own)};
        m_byDevice.insert(device, dir);
        return true;
    }
    error = FileOpStatus::failure(EXDEV, QStringLiteral("No Trash can be used on the volume at %1; the "
                                                        "file was left in place")
                                             .arg(QFile::decodeName(topdir)));
    return false;
}

TrashOutcome LinuxTrash::moveToTrash(const QString& path, const std::optional<FileIdentity>& expected) {
    const QByteArray native = nativePath(path);
    if (native.isEmpty())
        return {failure(path.isEmpty() ? ENOENT : errno), {}, {}};
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return {failure(errno), {}, {}};
    if (!LinuxFileOperations::isExpected(expected, st))
        return {FileOpStatus::changed(), {}, {}};
    const quint64 device = quint64(st.st_dev);
    if (S_ISDIR(st.st_mode)) {
        // A mounted volume's top folder cannot be renamed into any trash.
        struct stat parent {};
        if (::stat(parentOf(native).constData(), &parent) == 0 && quint64(parent.st_dev) != device)
            return {
                FileOpStatus::failure(EBUSY, QStringLiteral("A mounted volume cannot be moved to the Trash")),
                {},
                {}};
    }
    const QByteArray name = native.mid(native.lastIndexOf('/') + 1);

    for (int attempt = 0; attempt < 2; ++attempt) {
        TrashDir dir;
        FileOpStatus error;
        if (!trashFor(device, native, dir, error))
            return {error, {}, {}};
        const QByteArray original = originalPath(dir, native, name);
        sweepOnce(dir.root);
        if (std::optional<TrashInfoAhead::Prepared> ahead = m_ahead.claim(native)) {
            // Its mark names the item as it was then: one changed since takes a fresh info.
            if (ahead->root == dir.root && ahead->original == original && ahead->device == device &&
                ahead->item == identityOf(st)) {
                if (std::optional<TrashOutcome> done = trashPrepared(*ahead, native, expected))
                    return *done;
            } else {
                ::unlink(ahead->infoPath.constData());
            }
        }
        noteRun(dir.root);
        PendingTrashInfo info(dir.root + "/info", trashInfo(original, deletionDateNow()),
                              PendingTrashInfo::itemOf(st), m_infoStock);
        qsizetype limit = dir.nameMax - kInfoSuffix.size();
        bool staleTrash = false;
        for (int n = 1; n < 10000; ++n) {
            const QByteArray candidate = trashName(name, n, limit - info.extraRoom());
            if (candidate.isEmpty())
                return {failure(ENAMETOOLONG), {}, {}};
            const QByteArray infoPath = dir.root + "/info/" + candidate + kInfoSuffix;
            int code = itemNameTaken(dir.root, candidate) ? EEXIST : info.claim(infoPath);
            if (code == 0) {
                // Once more right before the rename: the .trashinfo took a while to write.
                if (expected && !stillExpected(native, expected)) {
                    info.withdraw(infoPath);
                    return {FileOpStatus::changed(), {}, {}};
                }
                if (!syncInfo(infoPath)) {
                    const int error = errno != 0 ? errno : EIO;
                    info.withdraw(infoPath);
                    return {failure(error), {}, {}};
                }
                const QByteArray target = dir.root + "/files/" + candidate;
                code = renameNoReplace(native, target, m_renameCalls);
                if (code == 0) {
                    durable(Durable::itemRenamed, target);
                    PendingTrashInfo::finished(infoPath);
                    return {{}, QFile::decodeName(target), QFile::decodeName(infoPath)};
                }
                info.withdraw(infoPath);
                if (code == ENOTEMPTY)
                    code = EEXIST;
                else if (code != EEXIST && code != ENAMETOOLONG)
                    return {failure(code), {}, {}};
            }
            if (code == EEXIST)
                continue;
            if (code == ENAMETOOLONG && limit > kShortestLimit) {
                // The file system takes shorter names than it says (an encrypting layer, say).
                limit = std::max(kShortestLimit, limit * 3 / 4);
                --n;
                continue;
            }
            if (code == ENOENT) {
                staleTrash = true;
                break;
            }
            return {failure(code), {}, {}};
        }
        if (!staleTrash)
            return {failure(EEXIST), {}, {}};
        forget(device); // the trash folder went away since it was checked: look again, once
    }
    return {failure(ENOENT), {}, {}};
}

} // namespace tarnwick
