#include "ui/sidebar/SidebarViews.h"

#include "ui/sidebar/SidebarView.h"
#include "ui/window/ViewFactories.h"
#include "ui/window/WindowPresentations.h"

namespace tarnwick {

void installSidebarView(ViewFactories& factories) {
    factories.sidebar = [](const WindowContext& c) {
        return new SidebarView({c.manager, c.operations, c.facts, c.runner, c.presentations.chain(),
                                c.commands, c.panel, c.grants, c.exportUnusedCSV});
    };
}

} // namespace tarnwick
