#include "ui/common/MenuModel.h"

namespace tarnwick {

namespace {

using Kind = MenuEntry::Kind;

MenuEntry separator() {
    return {};
}

MenuEntry post(const QString& title, Command command, const QKeySequence& shortcut = {}) {
    return {Kind::postCommand, title, shortcut, command};
}

MenuEntry action(Kind kind, const QString& title, const QKeySequence& shortcut = {}) {
    return {kind, title, shortcut, {}};
}

QKeySequence keys(const char* text) {
    return QKeySequence(QString::fromLatin1(text));
}

} // namespace

QList<MenuDefinition> appMenuModel() {
    using N = Command;
    return {
        {QStringLiteral("Tarnwick"),
         {action(Kind::about, QStringLiteral("About Tarnwick")),
          action(Kind::checkForUpdates, QStringLiteral("Check for Updates…")), separator(),
          action(Kind::quit, QStringLiteral("Quit Tarnwick"), keys("Ctrl+Q"))}},
        {QStringLiteral("File"),
         {action(Kind::openProjectsPanel, QStringLiteral("Open Projects..."), keys("Ctrl+O")),
          post(QStringLiteral("Easy Import from Folder..."), N::easyImport, keys("Ctrl+Shift+I")),
          action(Kind::importDaVinciCSVPanel, QStringLiteral("Import DaVinci CSV..."), keys("Ctrl+Shift+D")),
          post(QStringLiteral("Grant Access to a Drive or Folder..."), N::grantDriveAccess), separator(),
          post(QStringLiteral("Export Unused to CSV..."), N::exportUnusedCSV, keys("Ctrl+Shift+E")),
          post(QStringLiteral("Search Offline Files..."), N::searchOfflineFiles, keys("Ctrl+Shift+F")),
          separator(), action(Kind::closeWindow, QStringLiteral("Close Window"), keys("Ctrl+W"))}},
        {QStringLiteral("View"),
         {post(QStringLiteral("All-Time Stats"), N::showStats, keys("Ctrl+Shift+S")),
          post(QStringLiteral("View Audit Log"), N::viewAuditLog, keys("Ctrl+Shift+L")),
          post(QStringLiteral("Welcome Guide"), N::showWelcomeGuide)}},
        {QStringLiteral("Sweep"),
         {post(QStringLiteral("Protected Folders…"), N::manageProtectedFolders, keys("Ctrl+Shift+P")),
          post(QStringLiteral("Sequence Usage…"), N::manageSequenceUsage), separator(),
          post(QStringLiteral("Add All Unused to Virtual Bin"), N::addAllUnused),
          post(QStringLiteral("Move Unused to Folder..."), N::moveUnusedToFolder),
          post(QStringLiteral("Refresh File Status"), N::refreshFileStatus, keys("Ctrl+R")), separator(),
          post(QStringLiteral("Clear All"), N::clearAllProjects)}},
        {QStringLiteral("Help"), {action(Kind::supportMail, QStringLiteral("Get Support"))}},
    };
}

QStringList menuBarTitles(const QList<MenuDefinition>& model) {
    QStringList titles;
    QString taken;
    for (const auto& menu : model) {
        QString title = menu.title;
        for (qsizetype i = 0; i < menu.title.size(); ++i) {
            const QChar letter = menu.title.at(i).toLower();
            if (!letter.isLetterOrNumber() || taken.contains(letter))
                continue;
            taken.append(letter);
            title = menu.title.left(i) + QLatin1Char('&') + menu.title.mid(i);
            break;
        }
        titles.append(title);
    }
    return titles;
}

} // namespace tarnwick
