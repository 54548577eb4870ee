#pragma once

#include "platform/SoftwareUpdater.h"
#include "ui/common/URLOpener.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

namespace tarnwick {

class AppCommands;
class AppDelegate;
class CheckForUpdatesViewModel;
class CommandCenter;
class FileOperations;
class FilePanel;
class MainWindow;
class Preferences;
class ProjectManager;
class ReviewPrompt;
class SecurityScopedAccess;

// The application: its updater, the launch sequence and its one window. Needs a QApplication.
class TarnwickApp : public QObject {
    Q_OBJECT
public:
    // Everything the app reaches outside itself; unset services fall back to the real ones.
    struct Options {
        QUrl appcastURL;
        std::unique_ptr<SoftwareUpdater> updater; // overrides appcastURL
        QString fontFolder;                       // empty: the folder beside the executable
        SecurityScopedAccess* grants = nullptr;
        FilePanel* filePanel = nullptr;
        CommandCenter* commands = nullptr;
        std::shared_ptr<ReviewPrompt> reviewPrompt;
        URLOpener openURL;
        std::optional<bool> sandboxed;
        std::function<bool()> mediaLibrariesCanReadMxf;
        // The window's model; null: one on the shared stores.
        std::function<std::unique_ptr<ProjectManager>()> makeManager;
        Preferences* preferences = nullptr; // null: the user's preferences
        QList<QUrl> openAtStart;            // projects imported once the window shows
        // The disk as the start's merge of a killed run's records sees it; null: the real one.
        std::shared_ptr<FileOperations> recordFiles;
    };

    explicit TarnwickApp(Options options);
    ~TarnwickApp() override;

    // Fonts, theme, launch work, then the window is shown.
    void launch();
    // Projects another start of the app was given: imported as if dropped, the window raised.
    void openProjects(const QList<QUrl>& projects);

    MainWindow* mainWindow() const { return m_window.get(); }
    SoftwareUpdater& updater() const { return *m_updater; }
    CommandCenter& commands() const { return *m_commands; }
    ReviewPrompt& reviewPrompt() const { return *m_reviewPrompt; }
    // While what a killed run left is merged into the records (the window shows busy meanwhile).
    bool isMergingRecords() const { return m_mergingRecords; }

Q_SIGNALS:
    // The start's merge is over (launch() with nothing to merge emits it too, on the event loop).
    void recordsMerged();

private:
    void buildWindow();
    void mergeRecords();
    void showAbout();

    Options m_options;
    URLOpener m_revealOpener; // the opener given, if any: else revealing asks the opener program
    std::unique_ptr<SoftwareUpdater> m_updater;
    std::unique_ptr<AppDelegate> m_delegate;
    CommandCenter* m_commands = nullptr;
    SecurityScopedAccess* m_grants = nullptr;
    std::shared_ptr<ReviewPrompt> m_reviewPrompt;
    std::unique_ptr<MainWindow> m_window;
    AppCommands* m_appCommands = nullptr;
    CheckForUpdatesViewModel* m_updatesViewModel = nullptr;
    bool m_mergingRecords = false;
};

} // namespace tarnwick
