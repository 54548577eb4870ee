#include "ui/common/Command.h"

#include "model/EnumText.h"

#include <array>

namespace tarnwick {

namespace {
// In subscription order; each name is the command's identifier.
constexpr auto texts = std::to_array<EnumText<Command>>({
    {Command::showStats, u"showStats"},
    {Command::openProjects, u"openProjects"},
    {Command::easyImport, u"easyImport"},
    {Command::importDaVinciCSV, u"importDaVinciCSV"},
    {Command::viewAuditLog, u"viewAuditLog"},
    {Command::searchOfflineFiles, u"searchOfflineFiles"},
    {Command::refreshFileStatus, u"refreshFileStatus"},
    {Command::exportUnusedCSV, u"exportUnusedCSV"},
    {Command::addAllUnused, u"addAllUnused"},
    {Command::moveUnusedToFolder, u"moveUnusedToFolder"},
    {Command::clearAllProjects, u"clearAllProjects"},
    {Command::showWelcomeGuide, u"showWelcomeGuide"},
    {Command::manageProtectedFolders, u"manageProtectedFolders"},
    {Command::manageSequenceUsage, u"manageSequenceUsage"},
    {Command::grantDriveAccess, u"grantDriveAccess"},
    {Command::proVideoFormatsRecommended, u"proVideoFormatsRecommended"},
});
static_assert(coversInOrder(texts), "one name per command, in order");
} // namespace

QString text(Command command) {
    return enumText(texts, command);
}

const QList<Command>& allCommands() {
    static const QList<Command> commands = [] {
        QList<Command> all;
        for (const EnumText<Command>& entry : texts)
            all.append(entry.value);
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
