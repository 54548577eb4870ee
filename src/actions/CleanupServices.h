#pragma once

#include <memory>

namespace tarnwick {

class AuditLogManager;
class FileOperations;
class ProjectManager;
class StatsManager;
class TraceFileWriter;

// What a clean-up action reaches besides the manager. Null members fall back to the manager's
// stores, the process's file operations and the shared trace file writer; tests pass their own.
struct CleanupServices {
    std::shared_ptr<FileOperations> files;
    AuditLogManager* auditLog = nullptr;
    StatsManager* statsManager = nullptr;
    TraceFileWriter* traceWriter = nullptr;

    // Every member set (a store stays null only when the manager has none either).
    CleanupServices resolved(const ProjectManager& manager) const;
};

} // namespace tarnwick
