#include "ui/tools/ToolViews.h"

#include "stores/AuditLogManager.h"
#include "ui/tools/AuditLogView.h"
#include "ui/window/ContentView.h"
#include "ui/window/ViewFactories.h"

namespace tarnwick {

void registerToolViews(ViewFactories& factories) {
    factories.auditLogSheet = [](ContentView&) -> QWidget* {
        return new AuditLogView(AuditLogManager::shared().entries());
    };
}

} // namespace tarnwick
