#pragma once

namespace tarnwick {

struct ViewFactories;

// Sets the sidebar on the window's hooks.
void installSidebarView(ViewFactories& factories);

} // namespace tarnwick
