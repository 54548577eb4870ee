// The sixteen command handlers, the panels, the access flow and the clean-up runs of the window.
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/RemovableMediaRoot.h"
#include "stores/SecurityScopedAccess.h"
#include "ui/common/CommandNames.h"
#include "ui/common/FilePanel.h"
#include "ui/window/ContentView.h"
#include "ui/window/PresentationChain.h"
#include "ui/window/WindowFacts.h"
#include "ui/window/WindowTexts.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QPointer>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

namespace tarnwick {

bool ContentView::handleCommand(const QString& name, const QVariantMap& payload) {
    namespace C = CommandName;
    if (name == C::showStats) {
        setShowingStats(true);
    } else if (name == C::openProjects) {
        const QVariant value = payload.value(C::urlsKey);
        if (value.metaType() == QMetaType::fromType<QList<QUrl>>())
            startImport(value.value<QList<QUrl>>());
    } else if (name == C::easyImport) {
        setShowingEasyImport(true);
    } else if (name == C::importDaVinciCSV) {
        const QVariant value = payload.value(C::urlKey);
        if (value.metaType() == QMetaType::fromType<QUrl>())
            setPendingDaVinciCSV(value.toUrl());
    } else if (name == C::viewAuditLog) {
        setShowingAuditLog(true);
    } else if (name == C::searchOfflineFiles) {
        setShowingSearchOffline(true);
    } else if (name == C::refreshFileStatus) {
        runRescan();
    } else if (name == C::exportUnusedCSV) {
        exportUnusedCSV();
    } else if (name == C::addAllUnused) {
        addAllUnused();
    } else if (name == C::moveUnusedToFolder) {
        setShowingMovePanel(true);
    } else if (name == C::clearAllProjects) {
        if (!m_manager->clearAll())
            showBusyAlert(m_manager->busyReason());
    } else if (name == C::showWelcomeGuide) {
        setHasCompletedWelcome(false);
    } else if (name == C::manageProtectedFolders) {
        setShowingProtectedFolders(true);
    } else if (name == C::manageSequenceUsage) {
        setShowingSequenceUsage(true);
    } else if (name == C::grantDriveAccess) {
        showDriveAccessPanel();
    } else if (name == C::proVideoFormatsRecommended) {
        m_manager->requestProVideoFormatsPrompt();
    } else {
        return false;
    }
    return true;
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
    if (const auto url = operations().exportUnusedFilesCSV(*m_manager))
        m_services.openUrl(*url);
}

void ContentView::addAllUnused() {
    // The facts are worked out off the GUI thread; when the list changed since, wait for the
    // fresh ones rather than check 100,000 files here.
    if (m_facts->isCurrent()) {
        operations().addToRecycleBin(*m_manager, m_facts->facts().safeToStage);
        return;
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(m_facts, &WindowFacts::updated, this, [this, connection] {
        if (!m_facts->isCurrent())
            return;
        disconnect(*connection);
        operations().addToRecycleBin(*m_manager, m_facts->facts().safeToStage);
    });
}

void ContentView::openProjectsPanel() {
    OpenPanelRequest request;
    request.allowsMultipleSelection = true;
    request.nameFilters = {QStringLiteral("Premiere Pro Projects (*.prproj *.PRPROJ)")};
    request.message = QStringLiteral("Select Premiere Pro project files to analyze");
    const QList<QUrl> urls = m_filePanel->runOpenPanel(window(), request);
    if (urls.isEmpty())
        return;
    (void)m_grants->grant(urls);
    startImport(urls);
}

void ContentView::openDaVinciPanel() {
    OpenPanelRequest request;
    request.nameFilters = {QStringLiteral("Comma-separated values (*.csv *.CSV)")};
    request.message = QStringLiteral("Select a DaVinci Resolve metadata CSV (unused clips, Usage = 0)");
    const QList<QUrl> urls = m_filePanel->runOpenPanel(window(), request);
    if (urls.isEmpty())
        return;
    (void)m_grants->grant(urls.first());
    setPendingDaVinciCSV(urls.first());
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
    const QList<QUrl> refused = m_grants->grant(urls);
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
        m_manager->setGrantAccessFailureMessage(WindowTexts::grantFailureMessage(failed));
        m_manager->setShowGrantAccessFailure(true);
    });
    watcher->setFuture(QtConcurrent::run([urls, refused] {
        QList<QUrl> failed;
        for (const QUrl& url : urls) {
            const QFileInfo info(url.toLocalFile());
            if (refused.contains(url) || !info.exists() || !info.isReadable())
                failed.append(url);
        }
        return failed;
    }));
}

void ContentView::showDriveAccessPanel() {
    OpenPanelRequest request;
    request.allowsMultipleSelection = true;
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.message = WindowTexts::driveAccessPanelMessage();
    request.startFolder = accessPanelStartFolder({}).toLocalFile();
    request.prompt = QStringLiteral("Grant Access");
    const QList<QUrl> urls = m_filePanel->runOpenPanel(window(), request);
    if (!urls.isEmpty())
        grantAccess(urls);
}

void ContentView::showVolumeAccessPanel() {
    const QList<QUrl> volumes = m_manager->volumesNeedingAccess();
    OpenPanelRequest request;
    request.allowsMultipleSelection = true;
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.message = WindowTexts::volumeAccessPanelMessage(volumes);
    request.startFolder = accessPanelStartFolder(volumes).toLocalFile();
    request.prompt = QStringLiteral("Grant Access");
    const QList<QUrl> urls = m_filePanel->runOpenPanel(window(), request);
    if (!urls.isEmpty())
        grantAccess(urls);
}

// ---- Clean-up runs ----------------------------------------------------------------------------

void ContentView::startTrashRun() {
    if (m_trashRunning)
        return; // the confirm path is closed until the run ends
    if (m_manager->isBusy()) {
        showBusyAlert(m_manager->busyReason());
        return;
    }
    m_trashRunning = true;
    QCoro::connect(operations().moveToTrash(*m_manager), this, [this](CleanupOperations::TrashResult result) {
        m_trashRunning = false;
        if (!result.refused.isEmpty()) {
            presentTrashFailure(result.trashed, result.refused, result.errors);
        } else {
            setDeletionResult(DeletionResult{result.trashed, result.failed, result.errors});
        }
    });
}

void ContentView::startBinMoveRun(const QUrl& folder) {
    if (m_binMoveRunning)
        return;
    if (m_manager->isBusy()) {
        showBusyAlert(m_manager->busyReason());
        return;
    }
    m_binMoveRunning = true;
    QCoro::connect(operations().moveRecycleBinToFolder(*m_manager, folder), this,
                   [this](CleanupOperations::MoveResult result) {
                       m_binMoveRunning = false;
                       setMoveResult(BinMoveResult{result.moved, result.failed, result.errors});
                       m_pendingMoveFolder.reset();
                   });
}

void ContentView::presentTrashFailure(int trashed, QList<RecycleBinItem> failedItems, QStringList errors) {
    m_trashSuccessCount = trashed;
    m_trashFailedItems = std::move(failedItems);
    m_trashFailureErrors = std::move(errors);
    m_showingTrashFailureDialog = true;
    schedulePresentations();
}

void ContentView::showBusyAlert(const QString& reason) {
    m_busyAlertReason = reason.isEmpty() ? QStringLiteral("Another operation is running.") : reason;
    schedulePresentations();
}

} // namespace tarnwick
