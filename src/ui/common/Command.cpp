#include "ui/common/Command.h"

namespace tarnwick {

QString text(Command command) {
    switch (command) {
    case Command::showStats:
        return QStringLiteral("showStats");
    case Command::openProjects:
        return QStringLiteral("openProjects");
    case Command::easyImport:
        return QStringLiteral("easyImport");
    case Command::importDaVinciCSV:
        return QStringLiteral("importDaVinciCSV");
    case Command::viewAuditLog:
        return QStringLiteral("viewAuditLog");
    case Command::searchOfflineFiles:
        return QStringLiteral("searchOfflineFiles");
    case Command::refreshFileStatus:
        return QStringLiteral("refreshFileStatus");
    case Command::exportUnusedCSV:
        return QStringLiteral("exportUnusedCSV");
    case Command::addAllUnused:
        return QStringLiteral("addAllUnused");
    case Command::moveUnusedToFolder:
        return QStringLiteral("moveUnusedToFolder");
    case Command::clearAllProjects:
        return QStringLiteral("clearAllProjects");
    case Command::showWelcomeGuide:
        return QStringLiteral("showWelcomeGuide");
    case Command::manageProtectedFolders:
        return QStringLiteral("manageProtectedFolders");
    case Command::manageSequenceUsage:
        return QStringLiteral("manageSequenceUsage");
    case Command::grantDriveAccess:
        return QStringLiteral("grantDriveAccess");
    case Command::proVideoFormatsRecommended:
        return QStringLiteral("proVideoFormatsRecommended");
    }
    return {};
}

const QList<Command>& allCommands() {
    static const QList<Command> commands = [] {
        QList<Command> all;
        for (int i = 0; i <= int(Command::proVideoFormatsRecommended); ++i)
            all.append(Command(i));
        return all;
    }();
    return commands;
}

Command commandOf(const CommandPost& post) {
    struct Visitor {
        Command operator()(Command command) const { return command; }
        Command operator()(const OpenProjects&) const { return Command::openProjects; }
        Command operator()(const ImportDaVinciCSV&) const { return Command::importDaVinciCSV; }
    };
    return std::visit(Visitor{}, post);
}

} // namespace tarnwick
