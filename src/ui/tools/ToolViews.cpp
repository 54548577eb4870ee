#include "ui/tools/ToolViews.h"

#include "analysis/ProjectManagerFace.h"
#include "stores/AuditLogManager.h"
#include "stores/ProtectedFolders.h"
#include "stores/StatsManager.h"
#include "ui/shell/ViewFactories.h"
#include "ui/tools/AuditLogView.h"
#include "ui/tools/EasyImportSheet.h"
#include "ui/tools/ProtectedFoldersSheet.h"
#include "ui/tools/SearchOfflineFilesSheet.h"
#include "ui/tools/SequenceUsageSheet.h"
#include "ui/tools/StatsView.h"

namespace tarnwick {

void registerToolViews(ViewFactories& factories) {
    factories.sheets[Presentation::auditLog] = [](const WindowContext& window) -> QWidget* {
        AuditLogManager* log = window.manager.services().auditLog;
        return new AuditLogView(log ? *log : AuditLogManager::shared());
    };
    factories.sheets[Presentation::protectedFolders] = [](const WindowContext& window) -> QWidget* {
        ProtectedFolders* store = window.manager.services().protectedFolders;
        return new ProtectedFoldersSheet(window.manager, store ? *store : ProtectedFolders::shared(),
                                         window.panel, window.grants);
    };
    factories.sheets[Presentation::sequenceUsage] = [](const WindowContext& window) -> QWidget* {
        return new SequenceUsageSheet(window.manager);
    };
    factories.sheets[Presentation::easyImport] = [](const WindowContext& window) -> QWidget* {
        return new EasyImportSheet(window.manager, window.panel, window.grants, window.importProjects);
    };
    factories.sheets[Presentation::searchOffline] = [](const WindowContext& window) -> QWidget* {
        return new SearchOfflineFilesSheet(window.manager, window.panel, window.grants,
                                           OfflineSearchOperations::forManager(window.manager));
    };
    factories.sheets[Presentation::stats] = [](const WindowContext& window) -> QWidget* {
        const StatsManager* stats = window.manager.services().statsManager;
        return new StatsView(stats ? stats->stats() : StatsManager::shared().stats());
    };
}

} // namespace tarnwick
