#pragma once

class QMenuBar;

namespace tarnwick {

class CheckForUpdatesViewModel;
class CommandActions;

// Fills `bar` with the actions' menus, in the table's order; "Check for Updates…" follows the view
// model's state by itself.
void installMenus(QMenuBar& bar, CommandActions& actions, CheckForUpdatesViewModel& updates);

} // namespace tarnwick
