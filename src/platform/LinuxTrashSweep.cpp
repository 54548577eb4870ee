// The sweeps of the Trash: what a killed run left in a trash folder goes, and nothing else.

#include "platform/LinuxTrash.h"

#include "platform/LeftoverMark.h"
#include "platform/LeftoverRemoval.h"
#include "platform/MountTable.h"
#include "platform/NoReplaceRename.h"
#include "platform/PendingTrashInfo.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnwick {

namespace {

constexpr QByteArrayView kInfoSuffix = ".trashinfo";

quint64 nameHash(QByteArrayView name) {
    return quint64(qHashBits(name.data(), size_t(name.size())));
}

// The hashes of the names in files/, sorted: no text kept per name, so a trash of any size is looked
// through at about the cost of listing it; and the notes of renames a kill stopped there. None when
// the folder cannot be read.
struct ItemsListing {
    std::vector<quint64> hashes;
    QList<QByteArray> claimNotes;
};

std::optional<ItemsListing> listItems(const QByteArray& folder) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return std::nullopt;
    ItemsListing listing;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        listing.hashes.push_back(nameHash(entry->d_name));
        if (entry->d_name[0] == '.' &&
            (isClaimNoteName(entry->d_name) || leftover::unfinishedWriteOf(entry->d_name)))
            listing.claimNotes.append(folder + '/' + entry->d_name);
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0)
        return std::nullopt;
    std::sort(listing.hashes.begin(), listing.hashes.end());
    return listing;
}

// What info/ holds besides the infos: marks' sidecars and the runs' notes.
struct InfoListing {
    QList<QByteArray> withoutItem; // infos whose item's name is not in files/
    QList<QByteArray> beside;      // infos beside an item of their name
    QSet<QByteArray> sidecars;
    QList<QByteArray> runNotes;
};

std::optional<InfoListing> listInfos(const QByteArray& infoDir, const std::vector<quint64>& items) {
    DIR* dir = ::opendir(infoDir.constData());
    if (!dir)
        return std::nullopt;
    InfoListing listing;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name.endsWith(kInfoSuffix) && name.size() > kInfoSuffix.size()) {
            // Two names sharing a hash send an info beside, which looks at its item itself.
            const bool hasItem =
                std::binary_search(items.cbegin(), items.cend(), nameHash(name.chopped(kInfoSuffix.size())));
            (hasItem ? listing.beside : listing.withoutItem).append(name.toByteArray());
        } else if (name.startsWith(LinuxTrash::runNotePrefix)) {
            listing.runNotes.append(name.toByteArray());
        } else if (name.startsWith('.')) { // perhaps a sidecar mark
            listing.sidecars.insert(name.toByteArray());
        }
    }
    ::closedir(dir);
    return listing;
}

// The notes of writers that are gone: a kill may have left marked infos beside their items.
QList<QByteArray> deadRunNotes(const QByteArray& infoDir, const QList<QByteArray>& notes,
                               leftover::RunningWriters& writers) {
    QList<QByteArray> dead;
    for (const QByteArray& name : notes) {
        const QByteArray path = infoDir + name;
        QFile note(QFile::decodeName(path));
        const std::optional<leftover::Mark> mark =
            note.open(QIODevice::ReadOnly) ? leftover::decode(note.read(4096)) : std::nullopt;
        if (mark ? !writers.isRunning(mark->writer) : leftover::isInterruptedEmpty(path))
            dead.append(path);
    }
    return dead;
}

// An info of ours beside an item in files/ stays unless that item is provably another than the one
// it was made for, as the volume's `clock` keeps times: another program's item that took the name
// while a run was killed is never labelled with our file's place, and an item a remount gave new
// numbers or times keeps its info. One that stays is a real info: the run was killed before its
// mark came off, which comes off now (a sidecar would stay beside it for good). Its sidecar, if it
// has one, is among `sidecars` (the folder's listing). True when the info went.
bool sweepBeside(const QByteArray& root, const QByteArray& name, const QSet<QByteArray>& sidecars,
                 const VolumeClock& clock, leftover::RunningWriters& writers) {
    const QByteArray path = root + "/info/" + name;
    std::optional<leftover::Mark> mark = leftover::attributeMarkOf(path);
    if (!mark && sidecars.contains(leftover::sidecarPath(name)))
        mark = leftover::markOf(path);
    if (!mark || writers.isRunning(mark->writer))
        return false;
    struct stat st {};
    if (::lstat(QByteArray(root + "/files/" + name.chopped(kInfoSuffix.size())).constData(), &st) == 0) {
        const std::optional<PendingTrashInfo::MarkedItem> meant = PendingTrashInfo::markedItem(mark->subject);
        if (!meant)
            return false; // the marks of earlier versions name no item: those infos stay, as they did
        if (PendingTrashInfo::mayBeMarkedItem(*meant, st, clock)) {
            PendingTrashInfo::finished(path);
            return false;
        }
    } else if (errno != ENOENT) {
        return false;
    }
    return leftover::removeAbandoned(path, &writers).ok();
}

// An info without its item, or a sidecar whose info never got its name or was withdrawn; an empty
// sidecar goes once it is stale. True when it went.
bool sweepWithoutItem(const QByteArray& root, const QByteArray& name, leftover::RunningWriters& writers) {
    const QByteArray path = root + "/info/" + name;
    struct stat st {};
    if (name.endsWith(kInfoSuffix)) {
        if (leftover::judge(path, &writers) != leftover::Verdict::abandoned ||
            ::lstat(QByteArray(root + "/files/" + name.chopped(kInfoSuffix.size())).constData(), &st) == 0)
            return false;
        return leftover::removeAbandoned(path, &writers).ok();
    }
    if (leftover::unfinishedWriteOf(name))
        return leftover::removeAbandoned(path, &writers).ok();
    const QByteArray marked = leftover::sidecarTarget(path);
    if (marked.isEmpty())
        return false;
    if (leftover::isInterruptedEmpty(path))
        return leftover::removeAbandoned(path, &writers).ok();
    // A sidecar beside its info goes with that info's verdict.
    if (::lstat(marked.constData(), &st) == 0)
        return false;
    return leftover::judge(path, &writers) == leftover::Verdict::abandoned &&
           leftover::removeAbandoned(path, &writers).ok();
}

// An empty item at files/<name> stopped before its note said it stood is still the claim when the
// note's writer made the info of <name> ahead: every program that keeps to the Trash's rules takes a
// name by making its info first, so none could have put an item there while ours stands.
bool claimedBehindOwnInfo(const QByteArray& root, const leftover::Writer& writer, const QByteArray& to) {
    const QByteArray name = to.mid(to.lastIndexOf('/') + 1);
    const std::optional<leftover::Mark> mark =
        leftover::markOf(root + "/info/" + name + kInfoSuffix.toByteArray());
    return mark && mark->writer == writer;
}

} // namespace

int LinuxTrash::sweepLeftovers(const QByteArray& root) {
    leftover::RunningWriters writers;
    const QByteArray files = root + "/files";
    std::optional<ItemsListing> items = listItems(files);
    if (!items)
        return 0;
    // A claim or a second link in files/ of a rename that never finished goes first: the info
    // beside it then has no item.
    if (!items->claimNotes.isEmpty()) {
        for (const QByteArray& note : std::as_const(items->claimNotes))
            leftover::removeAbandoned(note, &writers,
                                      [&root](const leftover::Writer& writer, const QByteArray& to) {
                                          return claimedBehindOwnInfo(root, writer, to);
                                      });
        items = listItems(files);
        if (!items)
            return 0;
    }
    const QByteArray infoDir = root + "/info/";
    const std::optional<InfoListing> infos = listInfos(infoDir, items->hashes);
    if (!infos)
        return 0;
    int removed = 0;
    const QList<QByteArray> dead = deadRunNotes(infoDir, infos->runNotes, writers);
    if (!dead.isEmpty()) {
        const VolumeClock clock = VolumeClock::ofPath(root);
        for (const QByteArray& name : infos->beside)
            removed += sweepBeside(root, name, infos->sidecars, clock, writers) ? 1 : 0;
    }
    for (const QByteArray& name :
         infos->withoutItem + QList<QByteArray>(infos->sidecars.cbegin(), infos->sidecars.cend()))
        removed += sweepWithoutItem(root, name, writers) ? 1 : 0;
    // Looked at: what those runs left is settled.
    for (const QByteArray& note : dead)
        ::unlink(note.constData());
    return removed;
}

QList<QByteArray> LinuxTrash::knownTrashes(const MountTable& mounts) {
    QList<QByteArray> roots{homeTrashPath()};
    const QByteArray uid = QByteArray::number(::getuid());
    for (const MountEntry& mount : mounts.entries()) {
        if (MountTable::isNetworkFileSystem(mount.fileSystemType) ||
            mount.fileSystemType == QLatin1String("autofs"))
            continue;
        const QByteArray top = QFile::encodeName(mount.mountPoint);
        struct stat st {};
        if (!top.startsWith('/') || ::lstat(top.constData(), &st) != 0)
            continue;
        const QByteArray base = top == "/" ? QByteArray() : top;
        for (const QByteArray& root :
             {QByteArray(base + "/.Trash/" + uid), QByteArray(base + "/.Trash-" + uid)}) {
            if (isOwnFolder(root, quint64(st.st_dev)))
                roots.append(root);
        }
    }
    // A volume mounted twice has one trash.
    QList<QByteArray> unique;
    QSet<std::pair<quint64, quint64>> seen;
    for (const QByteArray& root : std::as_const(roots)) {
        struct stat st {};
        if (::stat(root.constData(), &st) != 0)
            continue; // nothing there to sweep
        const std::pair<quint64, quint64> key{quint64(st.st_dev), quint64(st.st_ino)};
        if (!seen.contains(key)) {
            seen.insert(key);
            unique.append(root);
        }
    }
    return unique;
}

int LinuxTrash::sweepKnownTrashes(const MountTable& mounts) {
    int removed = 0;
    for (const QByteArray& root : knownTrashes(mounts))
        removed += sweepLeftovers(root);
    return removed;
}

void LinuxTrash::sweepOnce(const QByteArray& root) {
    if (m_stepHook)
        m_stepHook(Step::sweepReached);
    const std::lock_guard lock(m_sweepMutex);
    if (m_swept.contains(root))
        return;
    sweepLeftovers(root);
    m_swept.insert(root);
}

} // namespace tarnwick
