#pragma once

#include "platform/FileOperations.h"
#include "platform/NoReplaceRename.h"

#include <QByteArray>

#include <optional>

namespace tarnwick {

// Removes a folder and everything below it without following symbolic links; a file or a link is
// removed itself. Goes on after a failure so as much as possible is gone; the first error wins.
// With `expected`, the item found there (the folder as opened) must be that one, else it is kept.
FileOpStatus removeTreeNoFollow(QByteArray path, const std::optional<FileIdentity>& expected = std::nullopt);

namespace leftover {

class RunningWriters;

// The one removal of leftovers, for FileOperations::removeLeftover and the platform code below
// it: `path` (or the file a sidecar still marks) goes only when it carries this program's mark and
// its writer is gone (EPERM "not ours", EBUSY "writer still running"). So does an empty file under
// a name only we make that its writer never wrote (isInterruptedEmpty()). The note of a rename or
// a move a kill stopped is settled instead (NoReplaceRename.h, CrossDeviceMove.h). One log line per
// removal. `writers` (may be null) answers for the writers a sweep has asked about already; `vouch`
// goes to a rename's note (resolveClaimNote()).
FileOpStatus removeAbandoned(QByteArray path, RunningWriters* writers = nullptr,
                             const ClaimVouch& vouch = {});

} // namespace leftover

} // namespace tarnwick
