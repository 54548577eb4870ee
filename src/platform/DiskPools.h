#pragma once

class QThreadPool;

namespace tarnwick {

// Named pools for disk work that can wait on a slow or hung volume, apart from Qt's global pool:
// a share that stops answering holds these threads, never the ones other work shares. Both end
// their threads when idle and are never destroyed (a walk stuck on a dead share must not hold up
// the exit).

// Folder walks and checks path by path (exists, readable, a proxy or a tool looked up): 2 threads,
// as each mostly waits for the volume.
QThreadPool& walkPool();

// Reading a whole file the user picked (a CSV list): 1 thread, one such read at a time.
QThreadPool& fileReadPool();

} // namespace tarnwick
