#pragma once

#include <QByteArray>

namespace tarnwick {

// Gives the unnamed file open as `fd` (made with O_TMPFILE, written and marked while it had no name)
// the name `path`, which it never replaces: by its descriptor where the kernel lets this process,
// else through /proc/self/fd. 0, or the errno value (EEXIST when the name is taken).
int linkUnnamedFile(int fd, const QByteArray& path);

} // namespace tarnwick
