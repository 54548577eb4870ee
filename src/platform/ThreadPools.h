#pragma once

class QThreadPool;

namespace tarnwick {

// The one table of the app's pools and long-lived threads. The rule: every pool and every thread
// that outlives one call is named here with its width and its reason; a pool scoped to one call is
// named with the call. No work of ours goes to Qt's global pool. Every thread carries a name
// (ThreadNames.h, the second column), so `top -H` and a stack dump say whose it is.
//
// Shared pools, below (name, width and reason beside each definition in ThreadPools.cpp): each has
// a name and a fixed width, ends idle threads soon and is never destroyed, so a call stuck on a
// share that stopped answering holds up neither other work nor the exit.
//
// Pools of one object, its members: serial executors, or work that must end with its owner (the
// owner's destructor waits for it, so no job outlives what it reads).
//   ProjectManager m_workerPool       ManagerWorker    1   the manager's rebuild and canonical paths,
//                                                          one at a time
//   ProjectManager m_sortPool         ManagerSortKeys  1   each large list's sort keys, one list at a
//                                                          time
//   FileStatusScan m_pool (Watchdog)  StatusChecks     100 a batch of checks; a check stuck on a dead
//                                                          mount is left behind and replaced, which
//                                                          QThreadPool cannot do
//   ImportRun m_pool                  ImportSteps      4   the import's steps: consolidation beside the
//                                                          duplicate search, the recount and the order
//                                                          beside the rest
//   ParallelProjectParse m_pool       ProjectParse     4, or the processors from 5 on: one parse a
//                                                          thread
//   ImportAggregation m_pool          ImportSumming    1   projects are summed in order
//   ImportAggregation m_preparing     ImportPreparing  3   each project's keys as it arrives, beside
//                                                          the reads
//   ScanPrefetch m_pool               ImportPrefetch   1   the scan object runs one batch at a time
//   ScanPrefetch m_collecting         ImportCollect    3   each project's results taken in beside the
//                                                          next check
//   SecurityScopedAccess m_writer     GrantWriter      1   grant saves in order, stopped before the
//                                                          state they read
//   WindowFacts m_pool                WindowFacts      1   the window's facts of the latest list
//   StorageMapView m_pool             StorageMap       1   the map's layout of the latest list
//   ThumbnailGenerator m_decoding     ThumbDecoding    4   stills, frames and durations for cards and
//                                                          previews
//   ThumbnailGenerator m_children     ThumbChildren    1   ffmpeg children and checks for what the
//                                                          decoders refuse
//
// Pools scoped to one call, locals of a coroutine or a function: the pool ends with the call's
// frame, which waits for its jobs, so a window closed mid-call leaves no worker holding the call's
// lists.
//   ProjectManager::rebuildWhileHoldingGate  RebuildPasses   3  the recount's aggregate and the plan
//                                                               beside the checks
//   MediaRescanner (rescan)                  Rescan          one job: the checks and the usage of
//                                                            100,000 entries
//   EntryCombiner (combine)                  CombineDupes    one job: the content-duplicate pass after
//                                                            a combine
//   DaVinciCSVImport (import)                CSVConsolidate  one job: consolidating the list after a
//                                                            list is added
//   AEPParseRequests::parseAll               AEPParse        `limit`: one parse per thread, so memory
//                                                            and disk stay bounded however many
//                                                            projects an import links
//   DuplicateDetectionCore runJobs (Watchdog)  DuplicateReads  `width`: the reads for the hashes; a
//                                                              read stuck on a dead mount is left
//                                                              behind and replaced
//   MediaConsolidator::identitiesOf (Watchdog) Consolidation   1, or up to 4 for a long list: the
//                                                              files' identities, replaced the same
//                                                              way
//
// Threads of their own, not pool work: each waits on its own queue for as long as its owner lives.
//   AppLog's writer                   AppLogWriter     syslog and standard output, in order, behind
//                                                      every caller; started by the first message,
//                                                      lives as long as the process
//   ChildProcess's spawner            ChildSpawner     forks every child: the parent-death signal
//                                                      follows the thread that forked, so it must
//                                                      never retire
//   RecordJournal m_syncer            JournalSyncer    syncs the journal apart from the steps that
//                                                      wait for it
//   AuditLogTail m_spiller            AuditSpiller     writes the log's entries out to its spill file
//   TranscodeEngine m_thread          TranscodeEngine  the engine's queued calls (a serial executor)
//   SingleInstance m_listener         SingleInstance   answers later starts before and while the
//                                                      window exists
//
// Qt's global pool, which only Qt itself uses, is QtGlobalPool.

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
