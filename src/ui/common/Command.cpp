#include "ui/common/Command.h"

#include <iterator>

namespace tarnwick {

namespace {
// In the enumeration's order.
constexpr const char* names[] = {
    "showStats",
    "openProjects",
    "easyImport",
    "importDaVinciCSV",
    "viewAuditLog",
    "searchOfflineFiles",
    "refreshFileStatus",
    "exportUnusedCSV",
    "addAllUnused",
    "moveUnusedToFolder",
    "clearAllProjects",
    "showWelcomeGuide",
    "manageProtectedFolders",
    "manageSequenceUsage",
    "grantDriveAccess",
    "proVideoFormatsRecommended",
};
constexpr int commandCount = int(Command::proVideoFormatsRecommended) + 1;
static_assert(std::size(names) == size_t(commandCount), "one name per command");
} // namespace

QString text(Command command) {
    return QString::fromLatin1(names[int(command)]);
}

const QList<Command>& allCommands() {
    static const QList<Command> commands = [] {
        QList<Command> all;
        for (int i = 0; i < commandCount; ++i)
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
