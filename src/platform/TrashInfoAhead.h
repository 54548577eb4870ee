#pragma once

#include "platform/FileOperations.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tarnwick {

// The .trashinfo files of the items a run is about to trash, written and linked into info/ by a
// helper thread a few items ahead of the caller, who then only renames each item. info/ and files/
// are different folders, so the helper's link and the caller's rename do not wait for each other.
// A prepared info is marked until its item is in files/: a kill leaves only marked, complete infos
// for the sweep, never an item without its info. Those never claimed are unlinked. An info is
// handed out only once it is durable: the helper syncs the infos it linked in groups (one sync for
// many, run beside the helper's next infos), so no item can reach files/ and keep it through a
// power cut while its info is lost.
// Thread-safe.
//
// Each expected item's entry goes through these stages (State::Stage), in one list under one mutex:
//
// | stage        | its info                        | next stage, and who moves it                       |
// |--------------|---------------------------------|----------------------------------------------------|
// | expected     | none yet                        | writing: the helper takes it, in list order        |
// | writing      | being written and linked        | writtenAhead (made) or notAhead (none): the helper |
// | writtenAhead | in info/, marked, not durable   | syncing: a group's sync takes it (the helper)      |
// | syncing      | its group's sync runs           | durable (synced) or notAhead (failed: it goes):    |
// |              |                                 | the sync's thread, once the sync returns           |
// | durable      | in info/, marked, durable       | taken: a claim hands it to the caller              |
// | notAhead     | none: the caller makes its own  | taken: a claim finds none                          |
//
// A taken entry leaves the list; its info, if any, is the caller's (its mark comes off beside a
// later sync, or when the list ends, once its item is in files/). An entry before a claimed one
// leaves the list unclaimed, and so does every entry when a new list comes or the owner ends: an
// info written ahead or durable goes with it at once, one whose sync runs once that sync returns.
// Nobody removes an entry in writing: a claim and a new list wait until the helper puts it down,
// and a new list and the owner's end wait until no sync runs. A claim of the first entry waits
// while it is expected, writing, written ahead or syncing, unless the helper has ended (it then
// finds it expected, and takes none).
class TrashInfoAhead {
public:
    struct Prepared {
        QByteArray infoPath; // linked in info/, still marked
        QByteArray target;   // the item's name-to-be in files/
        QByteArray root;     // the trash folder
        QByteArray original; // the Path= of the info
        quint64 device = 0;  // of the item when it was prepared
        int number = 1;      // of the name in files/ ("clip (2).mov" is 2)
        FileIdentity item;   // the item then, which the info's mark names
    };
    // Prepares the info of one item (linked, marked); none when it cannot or should not be done
    // ahead, and the caller then does it all itself.
    using PrepareFn = std::function<std::optional<Prepared>(const QByteArray& path)>;
    // Makes the linked infos durable (their contents and their names in info/); false when it
    // could not, and they are then withdrawn.
    using SyncFn = std::function<bool(const QList<QByteArray>& infoPaths)>;

    TrashInfoAhead(PrepareFn prepare, SyncFn sync, int depth = defaultDepth);
    ~TrashInfoAhead(); // unlinks every info not claimed
    TrashInfoAhead(const TrashInfoAhead&) = delete;
    TrashInfoAhead& operator=(const TrashInfoAhead&) = delete;

    // The items to come, in order (absolute, native paths); replaces those expected before. None:
    // nothing more is expected and every prepared info still unclaimed goes.
    void expect(const QList<QByteArray>& paths);
    // The prepared info of `path`, waiting for it while the helper writes it; the infos prepared
    // for items before it, which were skipped, go. None when `path` was not expected or its info
    // was not made ahead (the caller makes it itself).
    std::optional<Prepared> claim(const QByteArray& path);
    // The item of a claimed info is in files/: the info's mark comes off beside the next sync, or
    // when the list ends, rather than on the caller's way. A kill before leaves a marked info
    // beside its item, which the sweep keeps like any complete one.
    void finished(const QByteArray& infoPath);

    // Items prepared ahead of the caller, and how many linked infos one sync takes at most: the
    // helper syncs a group sooner when it cannot go further ahead. The helper is only a little
    // faster than the caller and gains ground while the caller waits: this much lets it bank a
    // slow sync's worth (another program writing to the disk) rather than hand the next one on.
    static constexpr int defaultDepth = 4096;
    static constexpr int syncGroup = 64;
    // Groups whose syncs run at once while the helper writes the next infos.
    static constexpr int maxSyncsRunning = 8;

private:
    struct State;
    static void run(const std::shared_ptr<State>& state);
    static void syncWrittenAhead(const std::shared_ptr<State>& state);
    std::shared_ptr<State> m_state;
};

} // namespace tarnwick
