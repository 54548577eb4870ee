#include "platform/LinuxTrash.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Creates `path` and its missing parents with `mode`; true when it is a folder afterwards.
bool makeFolders(const QByteArray& path, mode_t mode) {
    if (::mkdir(path.constData(), mode) == 0)
        return true;
    if (errno == ENOENT && path.size() > 1) {
        if (!makeFolders(parentOf(path), mode))
            return false;
        if (::mkdir(path.constData(), mode) == 0)
            return true;
    }
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder that is really ours: not a link, owned by us, on `device`.
bool isOwnFolder(const QByteArray& path, quint64 device) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           quint64(st.st_dev) == device;
}

// files/ and info/ of a trash folder, made 0700 when missing.
bool prepareTrash(const QByteArray& root, quint64 device) {
    for (const char* sub : {"/files", "/info"}) {
        const QByteArray path = root + sub;
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        if (!isOwnFolder(path, device))
            return false;
    }
    return true;
}

// The top folder of the mount that holds `path` (an existing, canonical folder) on `device`.
QByteArray mountTop(QByteArray path, quint64 device) {
    while (path != "/") {
        const QByteArray parent = parentOf(path);
        struct stat st {};
        if (::stat(parent.constData(), &st) != 0 || quint64(st.st_dev) != device)
            break;
        path = parent;
    }
    return path;
}

QByteArray homeFolder() {
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty())
        return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? QByteArray(entry->pw_dir) : QByteArray();
}

// "name" → "name (2)" / "clip.mov" → "clip (2).mov"; the extension is kept so the Trash view
// shows the right type.
QByteArray numberedName(const QByteArray& name, int n) {
    if (n == 1)
        return name;
    const QByteArray suffix = " (" + QByteArray::number(n) + ')';
    const qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0)
        return name + suffix;
    return name.left(dot) + suffix + name.mid(dot);
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Renames without replacing. Where the file system lacks RENAME_NOREPLACE the destination name is
// still ours alone: its .trashinfo was created exclusively just before.
int renameNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS)
        return error;
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// Local time without Qt's time-zone refresh, which stats /etc/localtime on every call.
QDateTime localNow() {
    const time_t now = ::time(nullptr);
    struct tm local {};
    if (!::localtime_r(&now, &local))
        return QDateTime::currentDateTime();
    return QDateTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                     QTime(local.tm_hour, local.tm_min, local.tm_sec));
}

} // namespace

QByteArray LinuxTrash::homeTrashPath() {
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    if (dataHome.startsWith('/'))
        return dataHome + "/Trash";
    return homeFolder() + "/.local/share/Trash";
}

QByteArray LinuxTrash::trashInfo(const QByteArray& originalPath, const QDateTime& deletedAt) {
    return "[Trash Info]\nPath=" + originalPath.toPercentEncoding("/") +
           "\nDeletionDate=" + deletedAt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + '\n';
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
        dir = {home, {}};
        return true;
    }
    if (!makeFolders(home, 0700) || !isOwnFolder(home, device) || !prepareTrash(home, device)) {
        error = FileOpStatus::failure(
            EACCES, QStringLiteral("The Trash folder %1 cannot be used").arg(QFile::decodeName(home)));
        return true;
    }
    m_homeReady = true;
    dir = {home, {}};
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
        if ((::mkdir(own.constData(), 0700) == 0 || errno == EEXIST) && isOwnFolder(own, device) &&
            prepareTrash(own, device)) {
            dir = {own, topdir};
            m_byDevice.insert(device, dir);
            return true;
        }
    }
    const QByteArray own = base + "/.Trash-" + uid;
    if ((::mkdir(own.constData(), 0700) == 0 || errno == EEXIST) && isOwnFolder(own, device) &&
        prepareTrash(own, device)) {
        dir = {own, topdir};
        m_byDevice.insert(device, dir);
        return true;
    }
    error = FileOpStatus::failure(EXDEV, QStringLiteral("No Trash can be used on the volume at %1; the "
                                                        "file was left in place")
                                             .arg(QFile::decodeName(topdir)));
    return false;
}

TrashOutcome LinuxTrash::moveToTrash(const QString& path) {
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    if (native.isEmpty())
        return {failure(ENOENT), {}, {}};
    if (!native.startsWith('/')) {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return {failure(errno), {}, {}};
        native = QByteArray(cwd) + '/' + native;
    }
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return {failure(errno), {}, {}};
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
        QByteArray original = native;
        if (!dir.topdir.isEmpty()) {
            char resolved[PATH_MAX];
            if (::realpath(parentOf(native).constData(), resolved)) {
                const QByteArray canonical = QByteArray(resolved) + '/' + name;
                const QByteArray prefix = dir.topdir == "/" ? QByteArray("/") : dir.topdir + '/';
                original = canonical.startsWith(prefix) ? canonical.mid(prefix.size()) : canonical;
            }
        }
        const QByteArray info = trashInfo(original, localNow());
        bool staleTrash = false;
        for (int n = 1; n < 10000; ++n) {
            const QByteArray candidate = numberedName(name, n);
            const QByteArray infoPath = dir.root + "/info/" + candidate + ".trashinfo";
            const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                const int code = errno;
                if (code == EEXIST)
                    continue;
                if (code == ENOENT) {
                    staleTrash = true;
                    break;
                }
                return {failure(code), {}, {}};
            }
            const bool written = writeAll(fd, info);
            const int writeError = errno;
            if (::close(fd) != 0 || !written) {
                ::unlink(infoPath.constData());
                return {failure(written ? EIO : writeError), {}, {}};
            }
            const QByteArray target = dir.root + "/files/" + candidate;
            const int code = renameNoReplace(native, target);
            if (code == 0)
                return {{}, QFile::decodeName(target), QFile::decodeName(infoPath)};
            ::unlink(infoPath.constData());
            if (code != EEXIST && code != ENOTEMPTY)
                return {failure(code), {}, {}};
        }
        if (!staleTrash)
            return {failure(EEXIST), {}, {}};
        forget(device); // the trash folder went away since it was checked: look again, once
    }
    return {failure(ENOENT), {}, {}};
}

} // namespace tarnwick
