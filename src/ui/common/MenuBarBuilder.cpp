#include "ui/common/MenuBarBuilder.h"

#include "ui/common/CheckForUpdatesViewModel.h"
#include "ui/common/CommandActions.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace tarnwick {

void installMenus(QMenuBar& bar, CommandActions& actions, CheckForUpdatesViewModel& updates) {
    bar.clear();
    const QList<MenuDefinition>& model = actions.model();
    for (qsizetype m = 0; m < model.size(); ++m) {
        QMenu* menu = bar.addMenu(model[m].title);
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
}

} // namespace tarnwick
