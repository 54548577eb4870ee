#pragma once

#include "analysis/FileStatusChecking.h"

#include <functional>
#include <memory>

namespace tarnwick {

class AuditLogManager;
class FileStatusScan;
class ProtectedFolders;
class SequenceUsagePolicyStore;
class StatsManager;

// What the project manager reaches besides its own state; the window passes shared(), tests pass
// their own. The stores and the two functions are required: shared() holds the only defaults.
struct ProjectManagerServices {
    SequenceUsagePolicyStore* sequencePolicy = nullptr;
    ProtectedFolders* protectedFolders = nullptr;
    AuditLogManager* auditLog = nullptr;
    StatsManager* statsManager = nullptr;
    // The per-path check; null: the real checker on stat(2).
    std::shared_ptr<const FileStatusChecking> fileStatusChecker;
    // Runs many checks at once under a watchdog; null: made over fileStatusChecker on first use.
    std::shared_ptr<FileStatusScan> fileStatusScan;
    // What a check needs besides the manager (sandbox flag, granted roots, mount table), taken on
    // the GUI thread before checks start.
    std::function<FileStatusChecking::Options(bool ignoreFileExtension)> statusOptions;
    // Whether the process runs sandboxed (volume-access prompts).
    std::function<bool()> isSandboxed;
    // Lists of at least this many entries have their sort keys made on a worker; smaller ones
    // are sorted where asked.
    qsizetype backgroundSortRows = 5000;
    // Runs on that worker before the keys are made (tests hold it there).
    std::function<void()> beforeSortKeys;

    // The shared stores, the real status checks and the process's sandbox flag.
    static ProjectManagerServices shared();
    // From the shared grant store and the current mount table.
    static FileStatusChecking::Options defaultStatusOptions(bool ignoreFileExtension);
    static bool defaultIsSandboxed();
};

} // namespace tarnwick
