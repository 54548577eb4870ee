#include "platform/ThreadPools.h"

#include "platform/IdleThreads.h"
#include "platform/ImmortalPool.h"
#include "platform/ThreadNames.h"

#include <QThread>

#include <algorithm>

namespace tarnwick {

namespace {

int processors() {
    return QThread::idealThreadCount();
}

} // namespace

// Each mostly waits for the volume.
QThreadPool& walkPool() {
    static ImmortalPool pool("FolderWalks", 2);
    return pool.get();
}

// One such read at a time.
QThreadPool& fileReadPool() {
    static ImmortalPool pool("FileReads", 1);
    return pool.get();
}

// One helper a run, and runs are serialised.
QThreadPool& trashInfoPool() {
    static ImmortalPool pool("TrashInfos", 1);
    return pool.get();
}

// Each waits for the disk: the cache flushes of syncs issued together are merged into a few, where
// one after another each pays its own. Up to eight groups of infos at once, each synced by up to
// sixteen threads.
QThreadPool& trashInfoSyncPool() {
    static ImmortalPool pool("TrashInfoSyncs", 128);
    return pool.get();
}

// One sweep at start; a volume that stops answering holds this thread only.
QThreadPool& trashSweepPool() {
    static ImmortalPool pool("TrashSweep", 1);
    return pool.get();
}

// One filler a stock; the stocks of a few trash folders may fill at once.
QThreadPool& unnamedFilePool() {
    static ImmortalPool pool("UnnamedFiles", 4);
    return pool.get();
}

// One run at a time touches the disk; the manager's gate already serialises runs.
QThreadPool& removalPool() {
    static ImmortalPool pool("Removals", 1);
    return pool.get();
}

// Apart from the removal pool, which an earlier run may still hold.
QThreadPool& removalCheckPool() {
    static ImmortalPool pool("RemovalChecks", 1);
    return pool.get();
}

// One plan at a time; a stat on a share that stopped answering must not hold the exit.
QThreadPool& recycleBinPool() {
    static ImmortalPool pool("RecycleBin", 1);
    return pool.get();
}

// One move at a time touches the disk; the gate already serialises runs.
QThreadPool& folderMovePool() {
    static ImmortalPool pool("FolderMoves", 1);
    return pool.get();
}

// Stats of a large move side by side, so the worker waits on the slowest of a few.
QThreadPool& folderMoveScanPool() {
    static ImmortalPool pool("FolderMoveScan", 4);
    return pool.get();
}

// One merge at a time; a stat per intent of a killed run can wait on a slow volume.
QThreadPool& startRecordsPool() {
    static ImmortalPool pool("StartRecords", 1);
    return pool.get();
}

// Twice the processors: parts of one parse wait on each other, so some threads sit blocked.
QThreadPool& readerPool() {
    static ImmortalPool pool("ProjectReaders", std::max(2 * processors(), 4));
    return pool.get();
}

// The processors, shared by all readers, so parsing many projects at once cannot multiply threads.
QThreadPool& aepScanPool() {
    static ImmortalPool pool("AEPScans", std::max(processors(), 1));
    return pool.get();
}

// A walk and a pass over the list; each walk mostly waits for the volume.
QThreadPool& offlineSearchPool() {
    static ImmortalPool pool("OfflineSearch", 2);
    return pool.get();
}

// A stat per candidate on the processors, while the search's thread waits.
QThreadPool& offlineScoringPool() {
    static ImmortalPool pool("OfflineScoring", std::max(processors(), 2));
    return pool.get();
}

// Walks, stats and passes over the list; each walk mostly waits for the volume.
QThreadPool& aeLinkingPool() {
    static ImmortalPool pool("AELinking", 2);
    return pool.get();
}

// The processors: the callers split a pass over a long list into at most eight ranges.
QThreadPool& splitWorkPool() {
    static ImmortalPool pool("SplitWork", processors());
    return pool.get();
}

// Reading a large log takes a moment: one reader.
QThreadPool& auditLogReadPool() {
    static ImmortalPool pool("AuditLogReads", 1);
    return pool.get();
}

// One thread: releases and trims run in the order asked, a trim behind the releases before it.
QThreadPool& memoryReleasePool() {
    static ImmortalPool pool("MemoryRelease", 1);
    return pool.get();
}

void settleQtGlobalPool() {
    QThreadPool::globalInstance()->setExpiryTimeout(idleThreadExpiryMs);
    nameThreads(*QThreadPool::globalInstance(), "QtGlobalPool");
}

} // namespace tarnwick
