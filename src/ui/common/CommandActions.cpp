#include "ui/common/CommandActions.h"

#include <QAction>

namespace tarnwick {

CommandActions::CommandActions(QList<MenuDefinition> model, Run run, QObject* parent)
    : QObject(parent), m_model(std::move(model)) {
    for (const MenuDefinition& menu : std::as_const(m_model)) {
        QList<QAction*> actions;
        for (const MenuEntry& item : menu.items) {
            if (item.kind == MenuEntry::Kind::separator) {
                actions.append(nullptr);
                continue;
            }
            auto* action = new QAction(item.title, this);
            action->setShortcut(item.shortcut);
            // Keep Qt from moving items to other menus or renaming them by role.
            action->setMenuRole(QAction::NoRole);
            // Menus show titles only; a toolbar that places the action gives it an icon.
            action->setIconVisibleInMenu(false);
            if (item.kind == MenuEntry::Kind::quit)
                action->setShortcutContext(Qt::ApplicationShortcut);
            connect(action, &QAction::triggered, this, [run, item] {
                if (run)
                    run(item);
            });
            actions.append(action);
        }
        m_actions.append(std::move(actions));
    }
}

QAction* CommandActions::action(qsizetype menu, qsizetype item) const {
    if (menu < 0 || menu >= m_actions.size() || item < 0 || item >= m_actions[menu].size())
        return nullptr;
    return m_actions[menu][item];
}

QAction* CommandActions::forCommand(Command command) const {
    for (qsizetype m = 0; m < m_model.size(); ++m) {
        const QList<MenuEntry>& items = m_model[m].items;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (items[i].kind == MenuEntry::Kind::postCommand && items[i].command == command)
                return m_actions[m][i];
        }
    }
    return nullptr;
}

QAction* CommandActions::forKind(MenuEntry::Kind kind) const {
    for (qsizetype m = 0; m < m_model.size(); ++m) {
        const QList<MenuEntry>& items = m_model[m].items;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (items[i].kind == kind)
                return m_actions[m][i];
        }
    }
    return nullptr;
}

} // namespace tarnwick
