#pragma once

#include "ui/common/Command.h"

#include <QKeySequence>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick {

// One menu entry: a separator, a posted command, or one of the actions that do more.
struct MenuEntry {
    enum class Kind {
        separator,
        postCommand,       // posts `command`, which carries nothing
        openProjectsPanel, // panel, grant, then "openProjects"
        importDaVinciCSVPanel,
        checkForUpdates,
        supportMail,
        about,
        quit,
        closeWindow,
    };
    Kind kind = Kind::separator;
    QString title;
    QKeySequence shortcut;
    std::optional<Command> command;

    bool operator==(const MenuEntry&) const = default;
};

struct MenuDefinition {
    QString title;
    QList<MenuEntry> items;
};

// The menu bar, left to right. The Command key of the original platform is Ctrl here; the
// application menu is the first menu, "Tarnwick".
QList<MenuDefinition> appMenuModel();

// The menu titles as the menu bar shows them: each marks a letter of its own ("&File") so that
// Alt with that letter opens it; the first letter when no other title took it already.
QStringList menuBarTitles(const QList<MenuDefinition>& model);

} // namespace tarnwick
