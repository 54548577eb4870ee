#pragma once

#include "model/RecycleBinItem.h"
#include "ui/common/UrlOpener.h"
#include "ui/window/CleanupOperations.h"
#include "ui/window/ViewFactories.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QUrl>
#include <QUuid>
#include <QVariantMap>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QActionGroup;
class QAction;
class QButtonGroup;
class QLabel;
class QSplitter;
class QStackedWidget;
class QToolBar;

namespace tarnwick {

class AnalyzingOverlay;
class CommandCenter;
class FilePanel;
class Preferences;
class PresentationChain;
class ProjectManager;
class SecurityScopedAccess;
class SidebarView;
class WelcomeView;
class WindowFacts;

enum class DetailViewMode { cards, table, map };

// The root view of the window: owns the window's project manager, lays out the sidebar, the
// media pane and the recycle bin pane under the toolbar, takes dropped projects, runs the
// sixteen commands, and presents the window's alerts and sheets one at a time.
class ContentView : public QWidget {
    Q_OBJECT
public:
    struct Services {
        FilePanel* filePanel = nullptr;                // null: the desktop's dialogs
        SecurityScopedAccess* grants = nullptr;        // null: the shared store
        Preferences* preferences = nullptr;            // null: the user's preferences
        std::unique_ptr<CleanupOperations> operations; // null: makeCleanupOperations()
        UrlOpener openUrl;                             // links and exported files; null: the desktop
        ViewFactories factories;
        std::function<QString()> removableMediaRoot; // null: the platform's choice
        CommandCenter* commands = nullptr;           // where the sidebar posts; null: the shared one
    };

    ContentView(std::unique_ptr<ProjectManager> manager, Services services, QWidget* parent = nullptr);
    ~ContentView() override;

    ProjectManager& manager() const { return *m_manager; }
    CleanupOperations& operations() const { return *m_services.operations; }
    WindowFacts& facts() const { return *m_facts; }
    SidebarView* sidebar() const { return m_sidebar; }
    QToolBar* toolbar() const { return m_toolbar; }
    PresentationChain& presentations() const { return *m_chain; }
    FilePanel& filePanel() const { return *m_filePanel; }
    SecurityScopedAccess& grants() const { return *m_grants; }
    CommandCenter& commands() const;

    // ---- Commands -------------------------------------------------------------------------
    // Runs the handler of one of the sixteen commands; false for an unknown name.
    bool handleCommand(const QString& name, const QVariantMap& payload);
    static const QStringList& toolbarTitles();

    // ---- Drop target ----------------------------------------------------------------------
    bool isDragging() const { return m_isDragging; }
    // The .prproj files among dropped URLs (local files only, any letter case), in drop order.
    static QList<QUrl> projectUrlsFromDrop(const QList<QUrl>& urls);
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

    // ---- Presentation state (what later views raise) ---------------------------------------
    void setShowingDeleteConfirmation(bool on);
    void setShowingPermanentDeleteSheet(bool on);
    void setShowingRecycleBinMovePanel(bool on);
    void setShowingTranscodeConfirmation(bool on);
    void setShowingSearchOffline(bool on);
    void setShowingAuditLog(bool on);
    void setShowingStats(bool on);
    void setShowingProtectedFolders(bool on);
    void setShowingSequenceUsage(bool on);
    void setShowingEasyImport(bool on);
    void setShowingMovePanel(bool on);
    void setDeletionResult(std::optional<DeletionResult> result);
    void setMoveResult(std::optional<BinMoveResult> result);
    void setPendingDaVinciCSV(const QUrl& url); // also raises the import confirmation
    // What a Trash run that left files reports; raises the Trash failure sheet.
    void presentTrashFailure(int trashed, QList<RecycleBinItem> failedItems, QStringList errors);
    bool showingSearchOffline() const { return m_showingSearchOffline; }
    bool showingAuditLog() const { return m_showingAuditLog; }
    bool showingStats() const { return m_showingStats; }
    bool showingProtectedFolders() const { return m_showingProtectedFolders; }
    bool showingSequenceUsage() const { return m_showingSequenceUsage; }
    bool showingEasyImport() const { return m_showingEasyImport; }
    bool showingMovePanel() const { return m_showingMovePanel; }
    bool showDaVinciImportConfirm() const { return m_showDaVinciImportConfirm; }
    const std::optional<QUrl>& pendingDaVinciCSVURL() const { return m_pendingDaVinciCSVURL; }
    const std::optional<DeletionResult>& deletionResult() const { return m_deletionResult; }
    const std::optional<BinMoveResult>& moveResult() const { return m_moveResult; }
    int trashSuccessCount() const { return m_trashSuccessCount; }
    const QList<RecycleBinItem>& trashFailedItems() const { return m_trashFailedItems; }
    const QStringList& trashFailureErrors() const { return m_trashFailureErrors; }

    // The Trash and bin-move runs (one of each at a time; refused with the reason while the
    // manager is busy).
    void startTrashRun();
    void startBinMoveRun(const QUrl& folder);
    bool isTrashRunning() const { return m_trashRunning; }
    bool isBinMoveRunning() const { return m_binMoveRunning; }
    // Tells the user why an operation cannot start now.
    void showBusyAlert(const QString& reason);

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

Q_SIGNALS:
    void draggingChanged(bool dragging);
    // An import started from the window (drop, panel or command) finished.
    void importFinished();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void buildToolbar();
    QWidget* buildMediaPane();
    QWidget* place(const ViewFactories::Pane& factory);
    void buildPresentations();
    void updateToolbarState();
    void updateOverlays();
    void updateBusyStatus();
    void layoutLayers();
    void setDragging(bool dragging);
    void startImport(const QList<QUrl>& urls);
    void openProjectsPanel();
    void openDaVinciPanel();
    void exportUnusedCSV();
    void addAllUnused();
    void runRescan();
    void openRecycleBinMovePanel();
    void presentFromChain();
    QDialog* presentSheet(const ViewFactories::Pane& factory);
    void schedulePresentations();

    std::unique_ptr<ProjectManager> m_manager;
    Services m_services;
    FilePanel* m_filePanel = nullptr;
    SecurityScopedAccess* m_grants = nullptr;
    Preferences* m_preferences = nullptr;
    WindowFacts* m_facts = nullptr;
    PresentationChain* m_chain = nullptr;

    QToolBar* m_toolbar = nullptr;
    QAction* m_searchAction = nullptr;
    QAction* m_refreshAction = nullptr;
    QLabel* m_busyStatus = nullptr;
    SidebarView* m_sidebar = nullptr;
    QSplitter* m_split = nullptr;
    QButtonGroup* m_modePicker = nullptr;
    QStackedWidget* m_detail = nullptr;
    QPointer<QWidget> m_analyzing;
    QPointer<QWidget> m_moveOverlay;
    QPointer<QWidget> m_transcodeOverlay;
    QPointer<QWidget> m_transcodeComplete;
    QPointer<QWidget> m_welcome;

    DetailViewMode m_detailViewMode = DetailViewMode::cards;
    QSet<QUuid> m_selectedFiles;
    QSet<QUuid> m_selectedRecycleBinItems;
    bool m_showingDeleteConfirmation = false;
    std::optional<DeletionResult> m_deletionResult;
    bool m_showingMovePanel = false;
    std::optional<BinMoveResult> m_moveResult;
    bool m_showingAuditLog = false;
    bool m_showingTrashFailureDialog = false;
    QList<RecycleBinItem> m_trashFailedItems;
    QStringList m_trashFailureErrors;
    int m_trashSuccessCount = 0;
    bool m_showingRecycleBinMovePanel = false;
    std::optional<QUrl> m_pendingMoveFolder;
    bool m_showingMoveConfirm = false;
    bool m_showingPermanentDeleteSheet = false;
    bool m_showingSearchOffline = false;
    bool m_showingStats = false;
    bool m_showingProtectedFolders = false;
    bool m_showingSequenceUsage = false;
    bool m_showingEasyImport = false;
    bool m_showingTranscodeConfirmation = false;
    bool m_hasCompletedWelcome = false;
    bool m_isDragging = false;
    std::optional<QUrl> m_pendingDaVinciCSVURL;
    bool m_showDaVinciImportConfirm = false;
    std::optional<QString> m_busyAlertReason;
    bool m_trashRunning = false;
    bool m_binMoveRunning = false;
};

} // namespace tarnwick
