#pragma once

#include <QtGlobal>

namespace tarnwick {

// Writes all `size` bytes to `fd` (at `offset` when it is not negative), going on after a short
// write or an interrupted call. False on an error, errno set (ENOSPC for a write that took nothing).
bool writeFully(int fd, const char* data, qint64 size, qint64 offset = -1);

} // namespace tarnwick
