#include "actions/CleanupServices.h"

#include "actions/TraceFileWriter.h"
#include "analysis/ProjectManager.h"
#include "platform/FileOperations.h"

namespace tarnwick {

CleanupServices CleanupServices::resolved(const ProjectManager& manager) const {
    CleanupServices services = *this;
    if (!services.files)
        services.files = FileOperations::system();
    if (!services.auditLog)
        services.auditLog = manager.auditLog();
    if (!services.statsManager)
        services.statsManager = manager.statsManager();
    if (!services.traceWriter)
        services.traceWriter = &TraceFileWriter::shared();
    return services;
}

} // namespace tarnwick
