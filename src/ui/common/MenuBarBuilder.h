#pragma once

#include "ui/common/MenuModel.h"

class QMenuBar;
class QWidget;

namespace tarnwick {

class AppCommands;
class CheckForUpdatesViewModel;

// Fills `bar` from the menu model. Each item runs through `commands` with `window` as the
// parent of what it opens; "Check for Updates…" follows the view model's state by itself.
void installMenus(QMenuBar& bar, const QList<MenuDefinition>& model, AppCommands& commands,
                  CheckForUpdatesViewModel& updates, QWidget* window);

} // namespace tarnwick
