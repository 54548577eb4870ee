#include "ui/common/MenuBarBuilder.h"

#include "ui/common/AppCommands.h"
#include "ui/common/CheckForUpdatesViewModel.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

namespace tarnwick {

namespace {

QAction* addItem(QMenu& menu, const MenuEntry& item, AppCommands& commands, CheckForUpdatesViewModel& updates,
                 QWidget* window) {
    if (item.kind == MenuEntry::Kind::separator)
        return menu.addSeparator();
    QAction* action = menu.addAction(item.title);
    action->setShortcut(item.shortcut);
    // Keep Qt from moving items to other menus or renaming them by role.
    action->setMenuRole(QAction::NoRole);
    if (item.kind == MenuEntry::Kind::quit)
        action->setShortcutContext(Qt::ApplicationShortcut);
    QPointer<QWidget> target(window);
    QObject::connect(action, &QAction::triggered, &commands,
                     [&commands, item, target] { commands.run(item, target.data()); });
    if (item.kind == MenuEntry::Kind::checkForUpdates) {
        action->setEnabled(updates.canCheckForUpdates());
        QObject::connect(&updates, &CheckForUpdatesViewModel::canCheckForUpdatesChanged, action,
                         &QAction::setEnabled);
    }
    return action;
}

} // namespace

void installMenus(QMenuBar& bar, const QList<MenuDefinition>& model, AppCommands& commands,
                  CheckForUpdatesViewModel& updates, QWidget* window) {
    bar.clear();
    for (const auto& definition : model) {
        QMenu* menu = bar.addMenu(definition.title);
        for (const auto& item : definition.items)
            addItem(*menu, item, commands, updates, window);
    }
}

} // namespace tarnwick
