#include "app/TarnwickApp.h"

#include "platform/AppVersion.h"
#include "ui/bin/BinViews.h"
#include "ui/browser/BrowserViews.h"
#include "ui/common/LinuxDesktopServices.h"

#include "analysis/ProjectManager.h"
#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "app/StartRecords.h"
#include "platform/FileOperations.h"
#include "platform/Preferences.h"
#include "platform/SoftwareUpdater.h"
#include "stores/AuditLogManager.h"
#include "stores/CountingReviewHook.h"
#include "stores/SecurityScopedAccess.h"
#include "ui/brand/AppIcon.h"
#include "ui/brand/BrandTheme.h"
#include "ui/cards/CardViews.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/AppCommands.h"
#include "ui/common/AppcastUpdater.h"
#include "ui/common/CheckForUpdatesViewModel.h"
#include "ui/common/CommandActions.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/FilePanel.h"
#include "ui/common/MenuBarBuilder.h"
#include "ui/common/ReviewPrompt.h"
#include "ui/common/UpdateResultAlert.h"
#include "ui/preview/ThumbnailGenerator.h"
#include "ui/sidebar/SidebarViews.h"
#include "ui/tools/ToolViews.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QApplication>
#include <QMenuBar>
#include <QPointer>

#include <qcoro/qcorotask.h>

namespace tarnwick {

TarnwickApp::TarnwickApp(Options options) : m_options(std::move(options)), m_revealOpener(m_options.openURL) {
    if (!m_options.openURL)
        m_options.openURL = desktopURLOpener();
    m_grants = m_options.grants ? m_options.grants : &SecurityScopedAccess::shared();
    m_commands = m_options.commands ? m_options.commands : &CommandCenter::shared();
    m_reviewPrompt = m_options.reviewPrompt ? m_options.reviewPrompt : ReviewPrompt::shared();

    AppDelegate::Environment environment;
    environment.fontFolder =
        m_options.fontFolder.isEmpty() ? AppDelegate::bundledFontFolder() : m_options.fontFolder;
    environment.grants = m_grants;
    environment.sandboxed = m_options.sandboxed.value_or(SecurityScopedAccess::isSandboxed());
    environment.mediaLibrariesCanReadMxf = m_options.mediaLibrariesCanReadMxf;
    m_delegate = std::make_unique<AppDelegate>(std::move(environment));

    // The updater starts before any window exists.
    m_updater = m_options.updater ? std::move(m_options.updater)
                                  : std::make_unique<AppcastUpdater>(m_options.appcastURL, appVersion());
    m_updater->start();
}

TarnwickApp::~TarnwickApp() {
    // The audit log outlives the window: it goes back to counting only.
    if (!m_options.reviewPrompt)
        AuditLogManager::shared().setReviewHook(std::make_shared<CountingReviewHook>(Preferences::shared()));
    m_window.reset();
    // Grants are saved on a writer thread; the last ones must reach the disk before the process ends.
    m_grants->flush();
}

void TarnwickApp::launch() {
    m_delegate->applicationWillFinishLaunching();
    applyBrandTheme();
    // Every window and dialog takes it; desktops that read the desktop entry find the same icon.
    QApplication::setWindowIcon(appIcon());
    QApplication::setQuitOnLastWindowClosed(AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
    m_delegate->applicationDidFinishLaunching();
    FileOperations::system()->sweepTrashLeftovers(); // a killed Trash run's infos; off this thread
    if (!m_options.reviewPrompt)
        AuditLogManager::shared().setReviewHook(m_reviewPrompt);
    buildWindow();
    m_window->show();
    mergeRecords();
    if (!m_options.openAtStart.isEmpty()) {
        // As if the projects were dropped on the window.
        const QList<QUrl> urls = m_options.openAtStart;
        QMetaObject::invokeMethod(
            m_window.get(), [this, urls] { m_window->contentView()->handleDrop(urls); },
            Qt::QueuedConnection);
    }
}

void TarnwickApp::openProjects(const QList<QUrl>& projects) {
    if (!m_window)
        return;
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    if (!projects.isEmpty())
        m_window->contentView()->handleDrop(projects);
}

void TarnwickApp::buildWindow() {
    m_window = std::make_unique<MainWindow>(*m_commands);
    m_window->keepGeometryIn(m_options.preferences ? *m_options.preferences : Preferences::shared());
    FilePanel& panel = m_options.filePanel ? *m_options.filePanel : FilePanel::system();
    auto manager = m_options.makeManager ? m_options.makeManager()
                                         : std::make_unique<ProjectManager>(ProjectManagerServices::shared());
    ContentView::Services services;
    services.filePanel = &panel;
    services.grants = m_grants;
    services.preferences = m_options.preferences;
    services.openURL = m_options.openURL;
    services.commands = m_commands;
    installSidebarView(services.factories);
    installCardViews(services.factories, ThumbnailGenerator::shared());
    installBinViews(services.factories);
    // One desktop for the table's reveal and copy and the window's exported files.
    services.desktop = std::make_shared<LinuxDesktopServices>(QDBusConnection::sessionBus(), m_revealOpener);
    installBrowserViews(services.factories, systemBrowserServices(services.desktop));
    registerToolViews(services.factories);
    // The desktop says whether an application took the link: a mail without a mail program is told.
    const std::shared_ptr<DesktopServices> desktop = services.desktop;
    const auto openLink = [desktop](const QUrl& url, std::function<void(bool)> done) {
        desktop->openLink(url, std::move(done));
    };
    m_appCommands = new AppCommands({*m_commands, panel, *m_grants, *m_updater, openLink}, m_window.get());
    // One action per menu item, in the menu bar and the window's toolbar alike.
    CommandActions* actions = m_appCommands->makeActions(m_window.get());
    services.actions = actions;
    m_window->setContentView(new ContentView(std::move(manager), std::move(services)));
    m_updatesViewModel = new CheckForUpdatesViewModel(*m_updater, m_appCommands);
    installMenus(*m_window->menuBar(), *actions, *m_updatesViewModel);

    connect(m_appCommands, &AppCommands::aboutRequested, this, &TarnwickApp::showAbout);
    connect(m_appCommands, &AppCommands::supportMailUnavailable, this,
            [this, desktop](const QString& address) {
                if (ContentView* view = m_window->contentView())
                    view->presentations().showNoMailProgram(
                        address, [desktop](const QString& text) { desktop->copyText(text); });
            });
    connect(m_appCommands, &AppCommands::quitRequested, this, [] { QApplication::closeAllWindows(); });
    connect(m_appCommands, &AppCommands::closeWindowRequested, m_window.get(), &QWidget::close);
    connect(m_updater.get(), &SoftwareUpdater::checkFinished, m_window.get(),
            [this](const UpdateCheckResult& result) {
                presentUpdateResult(m_window.get(), result, m_options.openURL);
            });
    m_window->attachReviewPrompt(*m_reviewPrompt);
}

// What a killed run left in the records journal reaches the audit log, the statistics and the
// trace files while the window shows busy: the window is not held back, and the second start's
// hand-off and the projects to open wait their turn behind the merge.
void TarnwickApp::mergeRecords() {
    m_mergingRecords = true;
    std::shared_ptr<FileOperations> files =
        m_options.recordFiles ? m_options.recordFiles : FileOperations::system();
    QCoro::connect(mergeStartRecords(m_window->contentView()->manager(), std::move(files)), this,
                   [this](int) {
                       m_mergingRecords = false;
                       Q_EMIT recordsMerged();
                   });
}

void TarnwickApp::showAbout() {
    AlertDialog::present(
        m_window.get(), QStringLiteral("Tarnwick"),
        QStringLiteral("Version %1\n\nFinds the media no timeline uses and reclaims its space "
                       "safely.")
            .arg(appVersion()),
        {{QStringLiteral("OK"), AlertButton::Role::normal, {}}});
}

} // namespace tarnwick
