#include "ui/common/MenuBarBuilder.h"

#include "ui/common/CheckForUpdatesViewModel.h"
#include "ui/common/CommandActions.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace tarnwick {

void installMenus(QMenuBar& bar, CommandActions& actions, CheckForUpdatesViewModel& updates) {
    bar.clear();
    const QList<MenuDefinition>& model = actions.model();
    const QStringList titles = menuBarTitles(model);
    for (qsizetype m = 0; m < model.size(); ++m) {
        QMenu* menu = bar.addMenu(titles[m]);
        for (qsizetype i = 0; i < model[m].items.size(); ++i) {
            QAction* action = actions.action(m, i);
            if (!action) {
                menu->addSeparator();
                continue;
            }
            menu->addAction(action);
            if (model[m].items[i].kind == MenuEntry::Kind::checkForUpdates) {
                action->setEnabled(updates.canCheckForUpdates());
                QObject::connect(&updates, &CheckForUpdatesViewModel::canCheckForUpdatesChanged, action,
                                 &QAction::setEnabled);
            }
        }
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
