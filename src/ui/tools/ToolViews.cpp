#include "ui/tools/ToolViews.h"

#include "analysis/ProjectManager.h"
#include "stores/AuditLogManager.h"
#include "stores/ProtectedFolders.h"
#include "stores/StatsManager.h"
#include "ui/tools/AuditLogView.h"
#include "ui/tools/EasyImportSheet.h"
#include "ui/tools/ProtectedFoldersSheet.h"
#include "ui/tools/SearchOfflineFilesSheet.h"
#include "ui/tools/SequenceUsageSheet.h"
#include "ui/tools/StatsView.h"
#include "ui/window/ContentView.h"
#include "ui/window/ViewFactories.h"

namespace tarnwick {

void registerToolViews(ViewFactories& factories) {
    factories.auditLogSheet = [](ContentView& window) -> QWidget* {
        AuditLogManager* log = window.manager().auditLog();
        return new AuditLogView(log ? *log : AuditLogManager::shared());
    };
    factories.protectedFoldersSheet = [](ContentView& window) -> QWidget* {
        ProtectedFolders* store = window.manager().services().protectedFolders;
        return new ProtectedFoldersSheet(window.manager(), store ? *store : ProtectedFolders::shared(),
                                         window.filePanel(), window.grants());
    };
    factories.sequenceUsageSheet = [](ContentView& window) -> QWidget* {
        return new SequenceUsageSheet(window.manager());
    };
    factories.easyImportSheet = [](ContentView& window) -> QWidget* {
        return new EasyImportSheet(window.manager(), window.filePanel(), window.grants(),
                                   [&window](const QList<QUrl>& urls) { window.handleDrop(urls); });
    };
    factories.searchOfflineSheet = [](ContentView& window) -> QWidget* {
        return new SearchOfflineFilesSheet(window.manager(), window.filePanel(), window.grants(),
                                           OfflineSearchOperations::forManager(window.manager()));
    };
    factories.statsSheet = [](ContentView& window) -> QWidget* {
        const StatsManager* stats = window.manager().services().statsManager;
        return new StatsView(stats ? stats->stats() : StatsManager::shared().stats());
    };
}

} // namespace tarnwick
