#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <variant>

namespace tarnwick {

// The commands the menus, the sidebar and the thumbnail generator post to the window, in
// the order the window subscribes to them.
enum class Command {
    showStats,
    openProjects,
    easyImport,
    importDaVinciCSV,
    viewAuditLog,
    searchOfflineFiles,
    refreshFileStatus,
    exportUnusedCSV,
    addAllUnused,
    moveUnusedToFolder,
    clearAllProjects,
    showWelcomeGuide,
    manageProtectedFolders,
    manageSequenceUsage,
    grantDriveAccess,
    proVideoFormatsRecommended,
    count // not a command: how many there are, for the tables' checks
};

// The command's name, as logs write it ("showStats").
QString text(Command command);
// Every command, in subscription order.
const QList<Command>& allCommands();

// The commands that carry what their panel chose.
struct OpenProjects {
    QList<QUrl> urls; // in the panel's order
    bool operator==(const OpenProjects&) const = default;
};
struct ImportDaVinciCSV {
    QUrl url;
    bool operator==(const ImportDaVinciCSV&) const = default;
};

// One post: a command that carries nothing, or one of the two that carry their URLs. A handler
// visits it, so the compiler sees every route.
using CommandPost = std::variant<Command, OpenProjects, ImportDaVinciCSV>;

// The command a post is (OpenProjects: Command::openProjects).
Command commandOf(const CommandPost& post);

} // namespace tarnwick
