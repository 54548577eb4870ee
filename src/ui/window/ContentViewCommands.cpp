// The command handlers, the panels and the access flow of the window.
#include "analysis/ProjectManagerFace.h"
#include "platform/AppLog.h"
#include "platform/RemovableMediaRoot.h"
#include "platform/ThreadPools.h"
#include "stores/SecurityScopedAccess.h"
#include "ui/cleanup/WindowFacts.h"
#include "ui/common/DesktopServices.h"
#include "ui/common/FilePanel.h"
#include "ui/common/Presentation.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"
#include "ui/window/WindowTexts.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

namespace tarnwick {

void ContentView::handleCommand(const CommandPost& post) {
    struct Visitor {
        ContentView& view;
        void operator()(Command command) const { view.runCommand(command); }
        void operator()(const OpenProjects& open) const { view.startImport(open.urls); }
        void operator()(const ImportDaVinciCSV& csv) const {
            view.m_presentations->confirmDaVinciImport(csv.url);
        }
    };
    std::visit(Visitor{*this}, post);
}

void ContentView::runCommand(Command command) {
    // A command that shows a sheet is answered by that sheet's presentation.
    if (const std::optional<Presentation> sheet = presentationShownBy(command))
        return m_presentations->showSheet(*sheet);
    switch (command) {
    case Command::refreshFileStatus:
        return runRescan();
    case Command::exportUnusedCSV:
        return exportUnusedCSV();
    case Command::addAllUnused:
        return addAllUnused();
    case Command::moveUnusedToFolder:
        if (m_sidebar.chooseUnusedMoveFolder)
            m_sidebar.chooseUnusedMoveFolder(); // the sidebar owns that move
        return;
    case Command::clearAllProjects:
        return clearAllProjects();
    case Command::showWelcomeGuide:
        return setHasCompletedWelcome(false);
    case Command::grantDriveAccess:
        return showDriveAccessPanel();
    case Command::proVideoFormatsRecommended:
        return m_manager->requestProVideoFormatsPrompt();
    case Command::openProjects:
    case Command::importDaVinciCSV:
        return; // posted bare, they carry nothing to open
    case Command::showStats:
    case Command::easyImport:
    case Command::viewAuditLog:
    case Command::searchOfflineFiles:
    case Command::manageProtectedFolders:
    case Command::manageSequenceUsage:
        return; // their sheets answer them above
    case Command::count:
        return;
    }
}

void ContentView::startImport(const QList<QUrl>& urls) {
    if (urls.isEmpty())
        return;
    QCoro::connect(m_manager->analyzeProjects(urls), this, [this] { Q_EMIT importFinished(); });
}

void ContentView::runRescan() {
    // While another operation runs the rescan waits for it, and the window shows that it waits.
    (void)m_manager->rescanAll();
}

void ContentView::exportUnusedCSV() {
    const CSVExportResult exported = operations().exportUnusedFilesCSV(m_manager->manager());
    if (!exported) {
        if (!exported.failure.isEmpty())
            m_presentations->showCSVExportFailed(exported.failure);
        return; // else nothing to export
    }
    const QString path = *exported;
    // Where no application opens CSV files the file is shown in the file manager instead; the
    // message says where it is and only what happened, so an export is never silent.
    std::weak_ptr<DesktopServices> weakDesktop = m_services.desktop;
    m_services.desktop->openFile(path, [self = QPointer(this), weakDesktop, path](bool opened) {
        const auto tell = [self, path, opened](bool revealed) {
            if (self)
                self->m_presentations->showCSVExported(path, opened, revealed);
        };
        const std::shared_ptr<DesktopServices> desktop = weakDesktop.lock();
        if (opened || !desktop)
            return tell(false);
        AppLog::info(QStringLiteral("No application opened the CSV; revealing it in the file manager"));
        desktop->revealFile(path, tell);
    });
}

void ContentView::clearAllProjects() {
    if (!m_manager->clearAll())
        m_presentations->showBusyAlert(m_manager->busyReason());
}

void ContentView::addAllUnused() {
    // The facts are worked out off the GUI thread; when the list changed since, wait for the
    // fresh ones rather than check 100,000 files here.
    if (m_facts->isCurrent()) {
        operations().addToRecycleBin(m_manager->manager(), m_facts->facts().safeToStage);
        return;
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(m_facts, &WindowFacts::updated, this, [this, connection] {
        if (!m_facts->isCurrent())
            return;
        disconnect(*connection);
        operations().addToRecycleBin(m_manager->manager(), m_facts->facts().safeToStage);
    });
}

// ---- Access flow ------------------------------------------------------------------------------

QUrl ContentView::accessPanelStartFolder(const QList<QUrl>& volumes) const {
    const QString root =
        m_services.removableMediaRoot ? m_services.removableMediaRoot() : removableMediaRoot();
    if (volumes.isEmpty())
        return QUrl::fromLocalFile(root);
    auto parentOf = [](const QUrl& url) {
        QString path = url.toLocalFile();
        while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        const QString parent = QFileInfo(path).path();
        return parent.isEmpty() ? QStringLiteral("/") : parent;
    };
    QSet<QString> parents;
    for (const QUrl& url : volumes)
        parents.insert(parentOf(url));
    if (parents.size() == 1)
        return QUrl::fromLocalFile(*parents.begin());
    return QUrl::fromLocalFile(parentOf(volumes.first()));
}

void ContentView::grantAccess(const QList<QUrl>& urls) {
    checkGrantedAccess(urls, m_grants->grant(urls));
}

void ContentView::checkGrantedAccess(const QList<QUrl>& urls, const QList<QUrl>& refused) {
    // Rescan whatever happened: some grants may have worked.
    runRescan();
    // A grant alone does not make a drive readable here (an unmounted share, no permission):
    // look at each, off the GUI thread since a dead share can hang.
    auto* watcher = new QFutureWatcher<QList<QUrl>>(this);
    connect(watcher, &QFutureWatcher<QList<QUrl>>::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QList<QUrl> failed = watcher->result();
        if (failed.isEmpty())
            return;
        m_manager->updatePrompts([&](PromptState& prompts) {
            prompts.grantAccessFailureMessage = WindowTexts::grantFailureMessage(failed);
            prompts.showGrantAccessFailure = true;
        });
    });
    watcher->setFuture(QtConcurrent::run(&walkPool(), [urls, refused] {
        QList<QUrl> failed;
        for (const QUrl& url : urls) {
            const QFileInfo info(url.toLocalFile());
            if (refused.contains(url) || !info.exists() || !info.isReadable())
                failed.append(url);
        }
        return failed;
    }));
}

void ContentView::openAccessPanel(const OpenPanelRequest& request) {
    chooseWithAccess(*m_filePanel, *m_grants, window(), request, this, [this](const GrantedChoice& choice) {
        checkGrantedAccess(choice.urls, choice.refused);
    });
}

void ContentView::showDriveAccessPanel() {
    OpenPanelRequest request;
    request.allowsMultipleSelection = true;
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.message = WindowTexts::driveAccessPanelMessage();
    request.startFolder = accessPanelStartFolder({}).toLocalFile();
    request.prompt = QStringLiteral("Grant Access");
    openAccessPanel(request);
}

void ContentView::showVolumeAccessPanel() {
    const QList<QUrl> volumes = m_manager->prompts().volumesNeedingAccess;
    OpenPanelRequest request;
    request.allowsMultipleSelection = true;
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.message = WindowTexts::volumeAccessPanelMessage(volumes);
    request.startFolder = accessPanelStartFolder(volumes).toLocalFile();
    request.prompt = QStringLiteral("Grant Access");
    openAccessPanel(request);
}

} // namespace tarnwick
