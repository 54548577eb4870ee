#pragma once

#include "ui/common/Command.h"

#include <QObject>
#include <QUrl>

#include <functional>

class QWidget;

namespace tarnwick {

class CommandActions;
class CommandCenter;
class FilePanel;
class SecurityScopedAccess;
class SoftwareUpdater;
struct MenuEntry;

// What the menu items do. Plain commands only post; the two panels grant access to what the
// user chose before posting (the panels open with open(), the post follows when they close);
// "Get Support" hands a prepared mail to the desktop, and says so when nothing there takes it.
class AppCommands : public QObject {
    Q_OBJECT
public:
    struct Services {
        CommandCenter& commands;
        FilePanel& filePanel;
        SecurityScopedAccess& grants;
        SoftwareUpdater& updater;
        // Hands a link to the desktop's application for it; `done` told false when none took it.
        std::function<void(const QUrl& url, std::function<void(bool opened)> done)> openLink;
    };

    explicit AppCommands(Services services, QObject* parent = nullptr);

    // Runs one menu item; `window` parents panels and dialogs.
    void run(const MenuEntry& item, QWidget* window);
    // One action per menu item, each running its item for `window`: the menu bar and the window's
    // toolbar hold the same ones. Owned by this.
    CommandActions* makeActions(QWidget* window);

    void postCommandNotification(Command command);
    void openProjectsPanel(QWidget* window);
    void importDaVinciCSVPanel(QWidget* window);
    void openSupportMail();

    SoftwareUpdater& updater() { return m_services.updater; }

Q_SIGNALS:
    void aboutRequested();
    // No mail program took the support request: the user is to write to `address` themselves.
    void supportMailUnavailable(const QString& address);
    void quitRequested();
    void closeWindowRequested();

private:
    Services m_services;
};

} // namespace tarnwick
