#pragma once

#include "ui/common/UrlOpener.h"

#include <QObject>

class QWidget;

namespace tarnwick {

class CommandCenter;
class FilePanel;
class SecurityScopedAccess;
class SoftwareUpdater;
struct MenuEntry;

// What the menu items do. Plain commands only post; the two panels grant access to what the
// user chose before posting; "Get Support" hands a prepared mail to the desktop.
class AppCommands : public QObject {
    Q_OBJECT
public:
    struct Services {
        CommandCenter& commands;
        FilePanel& filePanel;
        SecurityScopedAccess& grants;
        SoftwareUpdater& updater;
        UrlOpener openUrl;
    };

    explicit AppCommands(Services services, QObject* parent = nullptr);

    // Runs one menu item; `window` parents panels and dialogs.
    void run(const MenuEntry& item, QWidget* window);

    void postCommandNotification(const QString& name);
    void openProjectsPanel(QWidget* window);
    void importDaVinciCSVPanel(QWidget* window);
    void openSupportMail();

    SoftwareUpdater& updater() { return m_services.updater; }

Q_SIGNALS:
    void aboutRequested();
    void quitRequested();
    void closeWindowRequested();

private:
    Services m_services;
};

} // namespace tarnwick
