#pragma once

#include <QByteArray>

#include <functional>

namespace tarnwick {

namespace leftover {
class RunningWriters;
struct Writer;
} // namespace leftover

// The system calls of a rename that never replaces; tests put others in their place.
struct NoReplaceCalls {
    // renameat2 with RENAME_NOREPLACE: 0, or -1 with errno set.
    std::function<int(const QByteArray& from, const QByteArray& to)> rename;
    // Removes the old name of a file once its hard link stands: 0, or -1 with errno set.
    std::function<int(const QByteArray& path)> removeOldName;
    // link(2): 0, or -1 with errno set.
    std::function<int(const QByteArray& from, const QByteArray& to)> link;
    // Told when the note is written, and when the claim or the second link stands (a test stops the
    // process there).
    enum class Step { noted, claimed, linked };
    std::function<void(Step)> reached;

    static int systemRename(const QByteArray& from, const QByteArray& to);
};

// Renames `from` to `to` and never replaces anything at `to`: 0, or an errno value. EEXIST when
// the name is taken (a folder someone filled meanwhile too); EXDEV across devices, with nothing
// done. On any failure `from` is where it was and nothing of ours is left at `to`.
//
// Where the file system lacks RENAME_NOREPLACE, the name is claimed by something that refuses an
// existing one: a hard link for a file, which then loses its old name; an empty folder of our own
// for a folder, and an empty file of our own where the file system has no hard links (or refuses
// one to another owner's file), which a plain rename then replaces; rename refuses to put a folder
// over a filled one. What stands at `to` between those steps is noted first, beside `to` (see
// claimNotePath()), and the note says so once the claim stands, so that a kill leaves nothing there
// that is not known as ours, and nothing another put there after it is taken for ours.
int renameNoReplace(const QByteArray& from, const QByteArray& to, const NoReplaceCalls& calls = {});

// ".<name>.tarnwick-claim" beside `to` (a name too long for that is cut and told apart by a hash of
// the whole): what the fallback puts at `to` (a claim, or a second link of `from`), its writer, and
// `from` with its size and time. Written ahead as ".<name>.tarnwick-ahead.tarnwick-claim" and given
// this name the moment the claim stands: only under this name does it prove the claim ours.
QByteArray claimNotePath(const QByteArray& to);
// Where the same note stands until the claim does.
QByteArray claimNoteAheadPath(const QByteArray& to);
bool isClaimNoteName(QByteArrayView name);

// Settles the note a killed rename left, once its writer is gone: a claim still standing for a
// rename that never came (`from` still the item noted, the claim still empty) goes when the note
// says the claim stood, and so does a second link of a file still at `from` (the file stays where it
// was, as a failed rename leaves it); what the rename finished stays, and so does an empty item at
// `to` the note does not prove ours (another's, put there after a kill before the claim). Then the
// note goes. A note whose writer still runs is kept, and an empty one (its writer stopped before
// writing it) once it is stale. True when the note went.
//
// `vouch` may prove the empty item the claim where the note cannot (its writer was stopped between
// the claim and the note's word): told the note's writer and `to`, true when something that writer
// made keeps every other program off that name.
using ClaimVouch = std::function<bool(const leftover::Writer& writer, const QByteArray& to)>;
bool resolveClaimNote(const QByteArray& note, leftover::RunningWriters& writers,
                      const ClaimVouch& vouch = {});

} // namespace tarnwick
