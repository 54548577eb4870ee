#include "ui/sidebar/SidebarViews.h"

#include "ui/shell/ViewFactories.h"
#include "ui/shell/WindowRequests.h"
#include "ui/sidebar/SidebarRows.h"
#include "ui/sidebar/SidebarView.h"

namespace tarnwick {

void installSidebarView(ViewFactories& factories) {
    factories.sidebar = [](const WindowContext& c) {
        auto* view = new SidebarView({c.manager, c.operations, c.facts, c.runner, c.presentations.chain(),
                                      c.commands, c.panel, c.grants, c.exportUnusedCSV});
        return SidebarPane{view, [zone = view->dropZone()](bool dragging) { zone->setDragging(dragging); },
                           [view] { view->chooseUnusedMoveFolder(); }};
    };
}

} // namespace tarnwick
