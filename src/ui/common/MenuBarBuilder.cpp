#include "ui/common/MenuBarBuilder.h"

#include "ui/common/AppCommands.h"
#include "ui/common/CheckForUpdatesViewModel.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QShortcut>

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
    const QStringList titles = menuBarTitles(model);
    for (qsizetype i = 0; i < model.size(); ++i) {
        const MenuDefinition& definition = model[i];
        QMenu* menu = bar.addMenu(titles[i]);
        for (const auto& item : definition.items)
            addItem(*menu, item, commands, updates, window);
    }
    // F10 opens the first menu, as on the other desktops of this platform.
    const QString f10Name = QStringLiteral("menuBarKey");
    if (!bar.findChild<QShortcut*>(f10Name, Qt::FindDirectChildrenOnly)) {
        auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), &bar);
        f10->setObjectName(f10Name);
        QObject::connect(f10, &QShortcut::activated, &bar, [&bar] {
            if (!bar.actions().isEmpty())
                bar.setActiveAction(bar.actions().constFirst());
        });
    }
}

} // namespace tarnwick
