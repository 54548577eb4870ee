#pragma once

namespace tarnwick {

struct ViewFactories;

// Registers the tool sheets (audit log, protected folders, timeline rules, statistics, easy
// import, offline search) on the window's factories.
void registerToolViews(ViewFactories& factories);

} // namespace tarnwick
