#pragma once

#include "ui/cleanup/CleanupOperations.h"
#include "ui/common/Command.h"
#include "ui/common/URLOpener.h"
#include "ui/shell/ViewFactories.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QUrl>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QButtonGroup;
class QLabel;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QToolBar;

namespace tarnwick {

class AnalyzingOverlay;
class CleanupRunner;
class CommandCenter;
class DesktopServices;
class FilePanel;
class Preferences;
class ProjectManager;
class ProjectManagerFace;
class SecurityScopedAccess;
class CommandActions;
class WelcomeView;
class KeyboardOwner;
class WindowFacts;
class WindowPresentations;
struct OpenPanelRequest;

enum class DetailViewMode { cards, table, map };

// The root view of the window: owns the window's project manager, lays out the sidebar, the
// media pane and the recycle bin pane under the toolbar, takes dropped projects, runs the
// commands, and hosts the window's alerts and sheets (WindowPresentations), shown one at
// a time.
class ContentView : public QWidget {
    Q_OBJECT
public:
    struct Services {
        FilePanel* filePanel = nullptr;                // null: the desktop's dialogs
        SecurityScopedAccess* grants = nullptr;        // null: the shared store
        Preferences* preferences = nullptr;            // null: the user's preferences
        std::unique_ptr<CleanupOperations> operations; // null: makeCleanupOperations()
        URLOpener openURL;                             // links; null: the desktop
        std::shared_ptr<DesktopServices> desktop;      // exported files; null: the desktop's
        ViewFactories factories;
        std::function<QString()> removableMediaRoot; // null: the platform's choice
        CommandCenter* commands = nullptr;           // where the sidebar posts; null: the shared one
        // The menu's actions (AppCommands::makeActions), placed in the toolbar too. Required: the
        // window has no route of its own.
        CommandActions* actions = nullptr;
    };

    ContentView(std::unique_ptr<ProjectManagerFace> manager, Services services, QWidget* parent = nullptr);
    ~ContentView() override;

    ProjectManager& manager() const;
    CleanupOperations& operations() const { return *m_services.operations; }
    WindowFacts& facts() const { return *m_facts; }
    CleanupRunner& runner() const { return *m_runner; }
    QWidget* sidebar() const { return m_sidebar.widget; }
    QToolBar* toolbar() const { return m_toolbar; }
    WindowPresentations& presentations() const { return *m_presentations; }
    CommandCenter& commands() const;

    // ---- Commands -------------------------------------------------------------------------
    // Runs the handler of one command.
    void handleCommand(const CommandPost& post);
    static const QStringList& toolbarTitles();

    // ---- Drop target ----------------------------------------------------------------------
    bool isDragging() const { return m_isDragging; }
    // The .prproj files among dropped URLs (local files only, any letter case), in drop order.
    static QList<QUrl> projectURLsFromDrop(const QList<QUrl>& urls);
    void handleDrop(const QList<QUrl>& urls);

    // ---- Access flow ----------------------------------------------------------------------
    QUrl accessPanelStartFolder(const QList<QUrl>& volumes) const;
    void grantAccess(const QList<QUrl>& urls);
    void showVolumeAccessPanel();
    void showDriveAccessPanel();

    // ---- Detail pane ----------------------------------------------------------------------
    DetailViewMode detailViewMode() const { return m_detailViewMode; }
    void setDetailViewMode(DetailViewMode mode);
    void isolateProject(const QUuid& projectID);
    QSet<QUuid>& selectedFiles() { return m_selectedFiles; }
    QSet<QUuid>& selectedRecycleBinItems() { return m_selectedRecycleBinItems; }

    // ---- Welcome guide --------------------------------------------------------------------
    bool hasCompletedWelcome() const { return m_hasCompletedWelcome; }
    void setHasCompletedWelcome(bool done);
    WelcomeView* welcomeView() const;
    AnalyzingOverlay* analyzingOverlay() const;

    // The search and refresh toolbar buttons.
    QAction* searchOfflineAction() const { return m_searchAction; }
    QAction* refreshAction() const { return m_refreshAction; }
    // The line that says what runs in the background and what waits for it (hidden when nothing).
    QLabel* busyStatusLabel() const { return m_busyStatus; }
    // Cancels the clean-up runs that wait for their turn (hidden when none waits).
    QPushButton* cancelWaitingButton() const { return m_cancelWaiting; }

    // The panes' least size, or a card's over them where that is larger.
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void draggingChanged(bool dragging);
    // An import started from the window (drop, panel or command) finished.
    void importFinished();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void buildToolbar();
    QWidget* buildMediaPane();
    void buildPresentations();
    QWidget* place(const ViewFactories::Pane& factory);
    void runCommand(Command command);
    void updateToolbarState();
    void updateOverlays();
    void showTranscodeResult(const TranscodeCompleteResult& result);
    void dismissTranscodeResult();
    void updateBusyStatus();
    void layoutLayers();
    void restoreFocus();
    void setDragging(bool dragging);
    void startImport(const QList<QUrl>& urls);
    CommandActions& commandActions();
    void openAccessPanel(const OpenPanelRequest& request);
    void checkGrantedAccess(const QList<QUrl>& urls, const QList<QUrl>& refused);
    void exportUnusedCSV();
    void addAllUnused();
    void clearAllProjects();
    void runRescan();

    std::unique_ptr<ProjectManagerFace> m_manager;
    Services m_services;
    FilePanel* m_filePanel = nullptr;
    SecurityScopedAccess* m_grants = nullptr;
    Preferences* m_preferences = nullptr;
    WindowFacts* m_facts = nullptr;
    CleanupRunner* m_runner = nullptr;
    WindowPresentations* m_presentations = nullptr;
    std::unique_ptr<WindowContext> m_context;

    QToolBar* m_toolbar = nullptr;
    QAction* m_searchAction = nullptr;
    QAction* m_refreshAction = nullptr;
    QLabel* m_busyStatus = nullptr;
    QPushButton* m_cancelWaiting = nullptr;
    SidebarPane m_sidebar;
    QSplitter* m_split = nullptr;
    QButtonGroup* m_modePicker = nullptr;
    QStackedWidget* m_detail = nullptr;
    QPointer<QWidget> m_analyzing;
    QPointer<QWidget> m_moveOverlay;
    QPointer<QWidget> m_transcodeOverlay;
    QPointer<QWidget> m_transcodeComplete;
    std::optional<TranscodeCompleteResult> m_transcodeResult; // shown by the card until Done
    QPointer<QWidget> m_welcome;
    KeyboardOwner* m_keyboard = nullptr; // the topmost layer has the window's keyboard
    QPointer<QWidget> m_focusBeforeLayers;
    QPointer<QWidget> m_initialFocus; // the filter field
    bool m_layered = false;

    DetailViewMode m_detailViewMode = DetailViewMode::cards;
    QSet<QUuid> m_selectedFiles;
    QSet<QUuid> m_selectedRecycleBinItems;
    bool m_hasCompletedWelcome = false;
    bool m_isDragging = false;
};

} // namespace tarnwick
