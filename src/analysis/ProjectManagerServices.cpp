#include "analysis/ProjectManagerServices.h"

#include "analysis/FileStatusScan.h"
#include "analysis/GrantSnapshot.h"
#include "platform/MountTable.h"
#include "stores/AuditLogManager.h"
#include "stores/ProtectedFolders.h"
#include "stores/SecurityScopedAccess.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "stores/StatsManager.h"

namespace tarnwick {

ProjectManagerServices ProjectManagerServices::shared() {
    ProjectManagerServices services;
    services.sequencePolicy = &SequenceUsagePolicyStore::shared();
    services.protectedFolders = &ProtectedFolders::shared();
    services.auditLog = &AuditLogManager::shared();
    services.statsManager = &StatsManager::shared();
    services.statusOptions = &ProjectManagerServices::defaultStatusOptions;
    services.isSandboxed = &ProjectManagerServices::defaultIsSandboxed;
    return services;
}

FileStatusChecking::Options ProjectManagerServices::defaultStatusOptions(bool ignoreFileExtension) {
    FileStatusChecking::Options options;
    options.ignoreFileExtension = ignoreFileExtension;
    options.isSandboxed = SecurityScopedAccess::isSandboxed();
    options.grantedRoots = grants::snapshotRoots(SecurityScopedAccess::shared());
    options.mountTable = std::make_shared<const MountTable>(MountTable::readCurrent());
    return options;
}

bool ProjectManagerServices::defaultIsSandboxed() {
    return SecurityScopedAccess::isSandboxed();
}

} // namespace tarnwick
