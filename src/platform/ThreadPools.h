#pragma once

class QThreadPool;

namespace tarnwick {

// The one table of the app's shared pools: each has a name, a fixed width and its reason beside its
// definition (ThreadPools.cpp). All end idle threads soon and are never destroyed, so a call stuck on
// a share that stopped answering holds up neither other work nor the exit. No work of ours goes to
// Qt's global pool. A pool that belongs to one object (a serial executor, or one that must end with
// its owner) stays that object's member instead.

// Disk work that can wait on a slow volume.
QThreadPool& walkPool();     // folder walks and path-by-path checks
QThreadPool& fileReadPool(); // a whole file the user picked (a CSV list)

// Trash and removal runs.
QThreadPool& trashInfoPool();      // `.trashinfo` files written ahead of the worker
QThreadPool& trashInfoSyncPool();  // their syncs, issued side by side
QThreadPool& unnamedFilePool();    // unnamed files kept ready in the trash
QThreadPool& trashSweepPool();     // what a killed run left in the trash folders, once at start
QThreadPool& removalPool();        // the removal worker
QThreadPool& removalCheckPool();   // what the confirmed paths hold, while a run waits its turn
QThreadPool& recycleBinPool();     // the bin's plans over many files
QThreadPool& folderMovePool();     // the move to a folder
QThreadPool& folderMoveScanPool(); // identities of the files a move will take
QThreadPool& startRecordsPool();   // the next start's merge of what earlier runs left

// Reading projects.
QThreadPool& readerPool();  // pieces of every parse
QThreadPool& aepScanPool(); // After Effects whole-file path scans

// Searching and linking.
QThreadPool& offlineSearchPool();  // the offline search's walks and passes
QThreadPool& offlineScoringPool(); // scoring its candidates
QThreadPool& aeLinkingPool();      // After Effects linking: walks, stats, passes over the list

// Long lists split into ranges, the first range on the caller (which runs any range no thread took).
QThreadPool& splitWorkPool();

// The audit log's reads for its viewer.
QThreadPool& auditLogReadPool();

// Large lists and tables let go of, and the memory then given back to the system (MemoryRelease).
QThreadPool& memoryReleasePool();

// Qt's global pool, which only Qt itself uses: its idle threads end as soon as ours. Called once at
// start.
void settleQtGlobalPool();

} // namespace tarnwick
