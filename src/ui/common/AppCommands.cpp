#include "ui/common/AppCommands.h"

#include "platform/AppLog.h"
#include "platform/SoftwareUpdater.h"
#include "ui/common/CommandActions.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/FilePanel.h"
#include "ui/common/MenuModel.h"
#include "ui/common/SupportMail.h"

#include <QPointer>
#include <QWidget>

namespace tarnwick {

AppCommands::AppCommands(Services services, QObject* parent)
    : QObject(parent), m_services(std::move(services)) {}

void AppCommands::run(const MenuEntry& item, QWidget* window) {
    using Kind = MenuEntry::Kind;
    switch (item.kind) {
    case Kind::separator:
        return;
    case Kind::postCommand:
        if (item.command)
            postCommandNotification(*item.command);
        return;
    case Kind::openProjectsPanel:
        openProjectsPanel(window);
        return;
    case Kind::importDaVinciCSVPanel:
        importDaVinciCSVPanel(window);
        return;
    case Kind::checkForUpdates:
        if (m_services.updater.canCheckForUpdates())
            m_services.updater.checkForUpdates();
        return;
    case Kind::supportMail:
        openSupportMail();
        return;
    case Kind::about:
        Q_EMIT aboutRequested();
        return;
    case Kind::quit:
        Q_EMIT quitRequested();
        return;
    case Kind::closeWindow:
        Q_EMIT closeWindowRequested();
        return;
    }
}

CommandActions* AppCommands::makeActions(QWidget* window) {
    return new CommandActions(
        appMenuModel(),
        [this, window = QPointer<QWidget>(window)](const MenuEntry& item) { run(item, window.data()); },
        this);
}

void AppCommands::postCommandNotification(Command command) {
    m_services.commands.post(command);
}

void AppCommands::openProjectsPanel(QWidget* window) {
    OpenPanelRequest request;
    request.allowsMultipleSelection = true;
    request.nameFilters = {QStringLiteral("Premiere Pro Projects (*.prproj *.PRPROJ)")};
    request.message = QStringLiteral("Select Premiere Pro project files to analyze");
    // Ungranted files still go to the import; the store logs why they failed.
    chooseWithAccess(
        m_services.filePanel, m_services.grants, window, request, this,
        [this](const GrantedChoice& choice) { m_services.commands.post(OpenProjects{choice.urls}); });
}

void AppCommands::importDaVinciCSVPanel(QWidget* window) {
    OpenPanelRequest request;
    request.nameFilters = {QStringLiteral("Comma-Separated Values (*.csv *.CSV)")};
    request.message = QStringLiteral("Select a DaVinci Resolve metadata CSV (unused clips, Usage = 0)");
    chooseWithAccess(m_services.filePanel, m_services.grants, window, request, this,
                     [this](const GrantedChoice& choice) {
                         m_services.commands.post(ImportDaVinciCSV{choice.urls.first()});
                     });
}

void AppCommands::openSupportMail() {
    const auto url = supportMailURL(AppVersionInfo::current(), operatingSystemVersionText());
    const auto unavailable = [self = QPointer<AppCommands>(this)] {
        AppLog::error(QStringLiteral("Could not open the mail program for the support request"));
        if (self)
            Q_EMIT self->supportMailUnavailable(supportAddress);
    };
    if (!url || !m_services.openLink)
        return unavailable();
    m_services.openLink(*url, [unavailable](bool opened) {
        if (!opened)
            unavailable();
    });
}

} // namespace tarnwick
