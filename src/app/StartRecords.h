#pragma once

#include <qcoro/qcorotask.h>

#include <memory>

namespace tarnwick {

class FileOperations;
class ProjectManager;

// What a killed run left in the records journal, merged at start while the window shows: the
// manager's operation gate is held throughout (the window shows busy and no clean-up starts on
// records that are not complete), the journal is read and every intent decided by the disk on a
// worker, and only the runs' closes (the audit log is GUI-thread only) run on the GUI thread.
// The number of runs closed; 0 when the manager went away meanwhile (the next start closes them).
QCoro::Task<int> mergeStartRecords(ProjectManager& manager, std::shared_ptr<FileOperations> files);

// The busy text while it runs.
inline constexpr char startRecordsReason[] = "Completing the records of an interrupted clean-up…";

} // namespace tarnwick
