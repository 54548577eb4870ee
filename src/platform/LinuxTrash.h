#pragma once

#include "platform/FileOperations.h"
#include "platform/NoReplaceRename.h"
#include "platform/TrashInfoAhead.h"
#include "platform/UnnamedFileStock.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>

namespace tarnwick {

class MountTable;

// The freedesktop.org Trash as the desktop's file managers keep it: the home trash for items on
// the home's volume, else "$topdir/.Trash/$uid" (a real, sticky .Trash folder) or
// "$topdir/.Trash-$uid". A name is taken only while it is free in both info/ and files/ (another
// program's item may sit in files/ without its info). The .trashinfo is created first and
// exclusively, then the item is renamed into files/ without replacing anything; if that fails the
// .trashinfo goes again. Never copies across volumes: an item whose volume has no usable trash
// stays where it is. Thread-safe.
//
// A .trashinfo in flight carries this program's leftover mark, which names the item it is made for
// (by what a remount keeps of it) and comes off once that item is in files/. Where the file system
// allows, the .trashinfo is written and marked before it has a name, so a killed run leaves only
// complete, marked ones; the start's sweep of the known trashes and this object's first operation
// on each trash sweep those whose writer is gone and whose item never arrived (or, after a killed
// run, whose name in files/ holds an item that is provably another). The unnamed files are made
// ahead by a helper thread while earlier items are renamed; for the items a run announces, a
// second helper writes and links their infos ahead too.
//
// Before its first info in a trash this process leaves a note there (info/.tarnwick-run-…, with
// its mark), which goes when a run ends with none of its marks left: marked infos beside their
// items are only ever left by a kill, so a sweep looks at the infos beside their items only where
// such a note outlived its writer, and the cost of a sweep is otherwise the listing of the folders.
class LinuxTrash {
public:
    LinuxTrash() = default;
    ~LinuxTrash();
    LinuxTrash(const LinuxTrash&) = delete;
    LinuxTrash& operator=(const LinuxTrash&) = delete;

    // With `expected`, an item at the path that is not that one is kept (FileOpStatus::changed()),
    // checked again right before the rename.
    TrashOutcome moveToTrash(const QString& path, const std::optional<FileIdentity>& expected = std::nullopt);
    // The items to be trashed next, in order: their infos are made ahead. None: nothing more is
    // coming, and the infos made ahead for items never trashed go.
    void expect(const QStringList& paths);

    // $XDG_DATA_HOME/Trash (when absolute), else $HOME/.local/share/Trash.
    static QByteArray homeTrashPath();
    // The trashinfo text for `originalPath` (absolute, or relative to the volume's top folder),
    // `deletionDate` in local time ("2026-12-08T14:03:07").
    static QByteArray trashInfo(const QByteArray& originalPath, const QByteArray& deletionDate);
    // The item's name in files/: numbered from n = 2 ("clip (2).mov"), and shortened to `limit`
    // bytes when longer (never inside a character, the extension kept); empty when it cannot fit.
    static QByteArray trashName(const QByteArray& name, int n, qsizetype limit);
    // Removes the marked .trashinfo files in `root`/info whose writer is gone and whose item never
    // reached files/ (a claim or a second link a stopped rename left there is settled first, by its
    // note). Where a run's note outlived its writer, it also looks at each info of a gone writer
    // beside an item of its name: one made for a provably other item goes (a folder for a file or the
    // other way, another size, or another time to the coarser step; on a clock of whole seconds
    // another size only), the others lose their mark, and then those notes go. Sidecars whose info
    // is gone, and marks and notes a kill left half written, go too. A log line for each removal;
    // returns how many infos and sidecars went.
    static int sweepLeftovers(const QByteArray& root);
    // The trash folders this program may have used: the home trash and this user's trash on each
    // local volume of `mounts`. Network shares and automounts are left out: a look there may never
    // answer, or mount them.
    static QList<QByteArray> knownTrashes(const MountTable& mounts);
    // Sweeps each of those: what a kill left stays no longer than until the next start. Returns how
    // many leftovers went.
    static int sweepKnownTrashes(const MountTable& mounts);
    // A folder that is really ours: not a link, owned by us, on `device`.
    static bool isOwnFolder(const QByteArray& path, quint64 device);
    // For each of `paths`, the items of the trash it would go to that stand beside an info naming
    // it (see FileOperations::trashedFrom()). Each trash's folder is listed once, and only the infos
    // whose names could have been made from a path's name are read, each once.
    static QList<std::optional<QList<TrashedItem>>> trashedFrom(const QStringList& paths);
    // The absolute path the kernel is given, without trailing slashes; empty when there is none.
    static QByteArray nativePath(const QString& path);
    // The top folder of the mount that holds `path` (an existing, canonical folder) on `device`.
    static QByteArray mountTop(QByteArray path, quint64 device);
    // The start of a run's note's name in info/.
    static constexpr QByteArrayView runNotePrefix = ".tarnwick-run-";

    // For tests, set before the first use: told when a caller reaches the leftover sweep (which
    // another thread may be running) and when the helper has made an item's info ahead.
    enum class Step { sweepReached, infoMadeAhead };
    void setStepHook(std::function<void(Step)> hook) { m_stepHook = std::move(hook); }
    // For tests, set before the first use: each .trashinfo made durable, and each item renamed into
    // files/, with its path (any thread).
    enum class Durable { infoSynced, itemRenamed };
    void setDurableHook(std::function<void(Durable, const QByteArray& path)> hook) {
        m_durableHook = std::move(hook);
    }
    // For tests, set before the first use: the calls of the renames into files/ (a file system
    // without RENAME_NOREPLACE or hard links, a stop between the fallback's steps).
    void setRenameCalls(NoReplaceCalls calls) { m_renameCalls = std::move(calls); }

private:
    struct TrashDir {
        QByteArray root;         // .../Trash, holds files/ and info/
        QByteArray topdir;       // empty for the home trash: its Path= lines are absolute
        qsizetype nameMax = 255; // longest name in files/ and info/
    };
    // The trash for items on `device`; an error text when none is usable.
    bool trashFor(quint64 device, const QByteArray& absolutePath, TrashDir& dir, FileOpStatus& error);
    bool homeTrashFor(quint64 device, TrashDir& dir, FileOpStatus& error);
    void forget(quint64 device);
    // Sweeps `root` the first time this object uses it (the app keeps one for the process, so once a
    // process); nobody uses it before that ends.
    void sweepOnce(const QByteArray& root);
    // This process's note in `root` (see above), left before its first info there; and the notes
    // taken away once no mark of ours is left.
    void noteRun(const QByteArray& root);
    void endRunNotes();
    static QByteArray runNoteName();
    // The Path= of an item in `dir`.
    static QByteArray originalPath(const TrashDir& dir, const QByteArray& native, const QByteArray& name);
    // The info of a plain item, made on the helper's thread.
    std::optional<TrashInfoAhead::Prepared> prepareAhead(const QByteArray& native);
    // The infos' contents and their names in info/ made durable, before their items' renames.
    bool syncInfos(const QList<QByteArray>& infoPaths);
    bool syncInfo(const QByteArray& infoPath);
    std::optional<TrashOutcome> trashPrepared(const TrashInfoAhead::Prepared& ahead, const QByteArray& native,
                                              const std::optional<FileIdentity>& expected);
    void durable(Durable what, const QByteArray& path) const {
        if (m_durableHook)
            m_durableHook(what, path);
    }

    std::mutex m_mutex;
    QByteArray m_homeTrash;
    quint64 m_homeDevice = 0;
    bool m_homeDeviceKnown = false;
    bool m_homeReady = false;
    qsizetype m_homeNameMax = 255;
    QHash<quint64, TrashDir> m_byDevice;
    std::mutex m_sweepMutex;
    QSet<QByteArray> m_swept;
    QSet<QByteArray> m_runNotes; // the trashes holding this process's note, under m_mutex
    std::function<void(Step)> m_stepHook;
    std::function<void(Durable, const QByteArray&)> m_durableHook;
    NoReplaceCalls m_renameCalls;
    UnnamedFileStock m_infoStock; // unnamed .trashinfo files made ahead
    // Last: its helper calls prepareAhead() until it is destroyed.
    TrashInfoAhead m_ahead{[this](const QByteArray& native) { return prepareAhead(native); },
                           [this](const QList<QByteArray>& infos) { return syncInfos(infos); }};
};

} // namespace tarnwick
