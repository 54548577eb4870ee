#pragma once

namespace tarnwick {

struct ViewFactories;

// Sets the recycle bin pane and the clean-up sheets and cards on the window's hooks.
void installBinViews(ViewFactories& factories);

} // namespace tarnwick
