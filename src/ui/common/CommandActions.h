#pragma once

#include "ui/common/MenuModel.h"

#include <QList>
#include <QObject>

#include <functional>

class QAction;

namespace tarnwick {

// One QAction per item of the menu table, made once and placed wherever the item shows: the menu
// bar and the window's toolbar hold the same action, so both run one route and share one enabled
// state.
class CommandActions : public QObject {
    Q_OBJECT
public:
    // What triggering an item does.
    using Run = std::function<void(const MenuEntry& item)>;

    CommandActions(QList<MenuDefinition> model, Run run, QObject* parent = nullptr);

    const QList<MenuDefinition>& model() const { return m_model; }
    // Null for a separator.
    QAction* action(qsizetype menu, qsizetype item) const;
    // The item that posts `command`, or the first of `kind`; null when the table has none.
    QAction* forCommand(Command command) const;
    QAction* forKind(MenuEntry::Kind kind) const;

private:
    QList<MenuDefinition> m_model;
    QList<QList<QAction*>> m_actions; // parallel to the model
};

} // namespace tarnwick
