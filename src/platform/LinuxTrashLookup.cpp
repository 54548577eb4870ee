// What the Trash holds for a place: the items beside infos that name it.

#include "platform/LinuxFileOperations.h"
#include "platform/LinuxTrash.h"
#include "platform/NoReplaceRename.h"

#include <QFile>
#include <QHash>

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

constexpr QByteArrayView kInfoSuffix = ".trashinfo";

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// The device of `path`, or of its nearest existing folder.
quint64 deviceOfNearest(QByteArray path) {
    struct stat st {};
    while (::stat(path.constData(), &st) != 0 && path != "/")
        path = parentOf(path);
    return quint64(st.st_dev);
}

// One trash folder as the look-up reads it: the names of its infos (their items' names) by their
// first byte, and the place each info read so far names. None when its info/ could not be listed.
struct Listing {
    QHash<char, QList<QByteArray>> names;
    QHash<QByteArray, QByteArray> places;
};

std::optional<Listing> listInfos(const QByteArray& root) {
    DIR* dir = ::opendir(QByteArray(root + "/info").constData());
    if (!dir)
        return std::nullopt;
    Listing listing;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name.endsWith(kInfoSuffix) && name.size() > kInfoSuffix.size())
            listing.names[name.front()].append(name.chopped(kInfoSuffix.size()).toByteArray());
    }
    ::closedir(dir);
    return listing;
}

// The Path= of an info, decoded; empty when it has none.
QByteArray placeNamedBy(const QByteArray& infoPath) {
    const int fd = ::open(infoPath.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    QByteArray text(8192, Qt::Uninitialized);
    const ssize_t got = ::read(fd, text.data(), size_t(text.size()));
    ::close(fd);
    text.truncate(std::max<ssize_t>(got, 0));
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith("Path="))
            return QByteArray::fromPercentEncoding(line.mid(5).trimmed());
    }
    return {};
}

// The names in `listing` that may have been given to an item named `name`: LinuxTrash::trashName()
// numbers a name and may shorten it, but it begins as the name does (or, cut to nothing, with its
// number).
QList<QByteArray> namesFor(const Listing& listing, const QByteArray& name) {
    QList<QByteArray> names = listing.names.value(name.front());
    if (name.front() != ' ') {
        for (const QByteArray& numbered : listing.names.value(' ')) {
            if (numbered.startsWith(" ("))
                names.append(numbered);
        }
    }
    return names;
}

// The trashes an item at `native` would go to, and the places an info there may name it by; none
// when its folder is gone.
struct Where {
    QList<QByteArray> roots;
    QList<QByteArray> places;
};

std::optional<Where> whereTrashed(const QByteArray& native, const QByteArray& name, const QByteArray& home,
                                  quint64 homeDevice) {
    if (name.isEmpty() || native.contains('\0'))
        return std::nullopt;
    // Its folder, or the nearest one still there (a folder the run emptied, removed since).
    QByteArray folder = parentOf(native);
    struct stat st {};
    while (::stat(folder.constData(), &st) != 0) {
        if (folder == "/")
            return std::nullopt;
        folder = parentOf(folder);
    }
    Where where{{}, {native}};
    char resolved[PATH_MAX];
    if (quint64(st.st_dev) == homeDevice) {
        where.roots.append(home);
    } else if (::realpath(folder.constData(), resolved)) {
        // A volume's own trash names it from the volume's top folder (or whole, as some programs do).
        const QByteArray rest = native.mid(folder == "/" ? 1 : folder.size() + 1);
        const QByteArray canonical =
            (qstrcmp(resolved, "/") == 0 ? QByteArray() : QByteArray(resolved)) + '/' + rest;
        const QByteArray top = LinuxTrash::mountTop(QByteArray(resolved), quint64(st.st_dev));
        const QByteArray base = top == "/" ? QByteArray() : top;
        const QByteArray uid = QByteArray::number(::getuid());
        where.places << canonical << canonical.mid(base.size() + 1);
        where.roots << base + "/.Trash/" + uid << base + "/.Trash-" + uid;
    }
    return where;
}

// The items of `listing` (the trash `root`) beside infos naming one of `places`. An empty claim of
// a rename that never came (its note beside it) is no item.
void collectItems(const QByteArray& root, Listing& listing, const QByteArray& name,
                  const QList<QByteArray>& places, QList<TrashedItem>& items) {
    for (const QByteArray& candidate : namesFor(listing, name)) {
        const QByteArray infoPath = root + "/info/" + candidate + kInfoSuffix;
        auto place = listing.places.find(candidate);
        if (place == listing.places.end())
            place = listing.places.insert(candidate, placeNamedBy(infoPath));
        const QByteArray itemPath = root + "/files/" + candidate;
        struct stat st {};
        struct stat note {};
        if (!places.contains(*place) || ::lstat(itemPath.constData(), &st) != 0 ||
            (st.st_size == 0 && ::lstat(claimNotePath(itemPath).constData(), &note) == 0))
            continue;
        items.append(
            {QFile::decodeName(itemPath), QFile::decodeName(infoPath), LinuxFileOperations::infoFrom(st)});
    }
}

} // namespace

QList<std::optional<QList<TrashedItem>>> LinuxTrash::trashedFrom(const QStringList& paths) {
    const QByteArray home = homeTrashPath();
    const quint64 homeDevice = deviceOfNearest(home);
    QHash<QByteArray, std::optional<Listing>> trashes;
    QList<std::optional<QList<TrashedItem>>> found;
    found.reserve(paths.size());
    for (const QString& path : paths) {
        const QByteArray native = nativePath(path);
        const QByteArray name = native.mid(native.lastIndexOf('/') + 1);
        const std::optional<Where> where = whereTrashed(native, name, home, homeDevice);
        std::optional<QList<TrashedItem>> items;
        if (where)
            items.emplace();
        for (const QByteArray& root : where ? where->roots : QList<QByteArray>()) {
            struct stat st {};
            if (::lstat(root.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
                continue; // never made: nothing went there
            auto listed = trashes.find(root);
            if (listed == trashes.end())
                listed = trashes.insert(root, listInfos(root));
            if (!*listed) {
                items.reset(); // cannot be looked through
                break;
            }
            collectItems(root, **listed, name, where->places, *items);
        }
        found.append(std::move(items));
    }
    return found;
}

} // namespace tarnwick
