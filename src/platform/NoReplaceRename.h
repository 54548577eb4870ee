#pragma once

#include <QByteArray>

#include <functional>

namespace tarnwick {

// The system calls of a rename that never replaces; tests put others in their place.
struct NoReplaceCalls {
    // renameat2 with RENAME_NOREPLACE: 0, or -1 with errno set.
    std::function<int(const QByteArray& from, const QByteArray& to)> rename;
    // Removes the old name of a file once its hard link stands: 0, or -1 with errno set.
    std::function<int(const QByteArray& path)> removeOldName;

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
// over a filled one.
int renameNoReplace(const QByteArray& from, const QByteArray& to, const NoReplaceCalls& calls = {});

} // namespace tarnwick
