// The window's alerts and sheets, in the order they are looked at, and the state that raises them.
#include "analysis/ProjectManager.h"
#include "stores/SecurityScopedAccess.h"
#include "ui/brand/BrandPalette.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/FilePanel.h"
#include "ui/common/Sheet.h"
#include "ui/window/ContentView.h"
#include "ui/window/PresentationChain.h"
#include "ui/window/WindowTexts.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnwick {

namespace {
using Role = AlertButton::Role;
} // namespace

void ContentView::schedulePresentations() {
    m_chain->schedule();
}

// Every sheet of the application has its factory; one without (a test window) presents nothing,
// and the chain lowers its flag.
QDialog* ContentView::presentSheet(const ViewFactories::Pane& factory) {
    QWidget* content = factory ? factory(*this) : nullptr;
    return content ? Sheet::present(window(), content) : nullptr;
}

void ContentView::buildPresentations() {
    ProjectManager& pm = *m_manager;
    auto alert = [this](const QString& title, const QString& message,
                        QList<AlertButton> buttons) -> QDialog* {
        return AlertDialog::present(window(), title, message, std::move(buttons));
    };
    const auto& f = m_services.factories;

    m_chain->add({QStringLiteral("busy"), [this] { return m_busyAlertReason.has_value(); },
                  [this, alert] {
                      return alert(QStringLiteral("Please Wait"), *m_busyAlertReason,
                                   {{QStringLiteral("OK"), Role::cancel, {}}});
                  },
                  [this] { m_busyAlertReason.reset(); }});
    // 1
    m_chain->add(
        {QStringLiteral("Delete Files"), [this] { return m_showingDeleteConfirmation; },
         [this, alert, &pm] {
             auto* dialog = static_cast<AlertDialog*>(
                 alert(QStringLiteral("Delete Files"),
                       WindowTexts::deleteFilesMessage(pm.recycleBin().size(), pm.summary().recycleBinSize),
                       {{QStringLiteral("Cancel"), Role::cancel, {}},
                        {QStringLiteral("Move to Trash"), Role::destructive, [this] { startTrashRun(); }}}));
             // While a Trash run is under way its confirmation cannot start another.
             dialog->buttons().at(1)->setEnabled(!m_trashRunning);
             return dialog;
         },
         [this] { m_showingDeleteConfirmation = false; }});
    // 2
    m_chain->add({QStringLiteral("TrashFailureSheet"), [this] { return m_showingTrashFailureDialog; },
                  [this, f] { return presentSheet(f.trashFailureSheet); },
                  [this] { m_showingTrashFailureDialog = false; }});
    // 3
    m_chain->add({QStringLiteral("PermanentDeleteConfirmSheet"),
                  [this] { return m_showingPermanentDeleteSheet; },
                  [this, f] { return presentSheet(f.permanentDeleteSheet); },
                  [this] { m_showingPermanentDeleteSheet = false; }});
    // 4
    m_chain->add({QStringLiteral("DeletionResultView"), [this] { return m_deletionResult.has_value(); },
                  [this, f] {
                      const DeletionResult result = *m_deletionResult;
                      const QString title = QStringLiteral("Deletion Complete");
                      return presentSheet(f.deletionResultSheet
                                              ? ViewFactories::Pane([f, result, title](ContentView& v) {
                                                    return f.deletionResultSheet(v, result, title);
                                                })
                                              : ViewFactories::Pane());
                  },
                  [this] { m_deletionResult.reset(); }});
    // 5
    m_chain->add({QStringLiteral("OperationResultView"), [this] { return m_moveResult.has_value(); },
                  [this, f] {
                      const BinMoveResult result = *m_moveResult;
                      const QString title = QStringLiteral("Move Complete");
                      return presentSheet(f.operationResultSheet
                                              ? ViewFactories::Pane([f, result, title](ContentView& v) {
                                                    return f.operationResultSheet(v, result, title);
                                                })
                                              : ViewFactories::Pane());
                  },
                  [this] { m_moveResult.reset(); }});
    // 6: the folder importer for moving the bin
    m_chain->add({QStringLiteral("folderImporter"), [this] { return m_showingRecycleBinMovePanel; },
                  [this]() -> QDialog* {
                      m_showingRecycleBinMovePanel = false;
                      openRecycleBinMovePanel();
                      return nullptr;
                  },
                  [this] { m_showingRecycleBinMovePanel = false; }});
    // 7
    m_chain->add({QStringLiteral("AuditLogView"), [this] { return m_showingAuditLog; },
                  [this, f] { return presentSheet(f.auditLogSheet); },
                  [this] { m_showingAuditLog = false; }});
    // 8
    m_chain->add({QStringLiteral("Offline Media Detected"), [&pm] { return pm.shouldPromptForScan(); },
                  [this, alert, &pm] {
                      return alert(QStringLiteral("Offline Media Detected"),
                                   WindowTexts::offlineMediaMessage(pm.summary().offlineFiles),
                                   {{QStringLiteral("Search Offline Files..."), Role::normal,
                                     [this] { setShowingSearchOffline(true); }},
                                    {QStringLiteral("Not Now"), Role::cancel, {}}});
                  },
                  [&pm] { pm.setShouldPromptForScan(false); }});
    // 9
    m_chain->add({QStringLiteral("Missing After Effects Projects"),
                  [&pm] { return pm.shouldPromptForMissingAEP(); },
                  [this, alert, &pm] {
                      return alert(QStringLiteral("Missing After Effects Projects"),
                                   WindowTexts::missingAEPMessage(pm.summary().uncertainAEFiles),
                                   {{QStringLiteral("Search Offline Files..."), Role::normal,
                                     [this] { setShowingSearchOffline(true); }},
                                    {QStringLiteral("Dismiss"), Role::cancel, {}}});
                  },
                  [&pm] { pm.setShouldPromptForMissingAEP(false); }});
    // 10
    m_chain->add(
        {QStringLiteral("Preview These Natively?"), [&pm] { return pm.shouldPromptForProVideoFormats(); },
         [this, alert] {
             return alert(QStringLiteral("Preview These Natively?"), WindowTexts::proVideoFormatsMessage(),
                          {{QStringLiteral("Download"), Role::normal,
                            [this] { m_services.openUrl(WindowTexts::proVideoFormatsHelpUrl()); }},
                           {QStringLiteral("Not Now"), Role::cancel, {}}});
         },
         [&pm] { pm.setShouldPromptForProVideoFormats(false); }});
    // 11
    m_chain->add({QStringLiteral("DaVinci CSV Import"), [&pm] { return pm.showDaVinciImportResult(); },
                  [alert, &pm] {
                      return alert(QStringLiteral("DaVinci CSV Import"),
                                   pm.daVinciImportMessage().value_or(QString()),
                                   {{QStringLiteral("OK"), Role::cancel, {}}});
                  },
                  [&pm] { pm.setShowDaVinciImportResult(false); }});
    // 12
    m_chain->add(
        {QStringLiteral("Import DaVinci CSV as Unused?"), [this] { return m_showDaVinciImportConfirm; },
         [this, alert, &pm] {
             return alert(
                 QStringLiteral("Import DaVinci CSV as Unused?"), WindowTexts::importDaVinciConfirmMessage(),
                 {{QStringLiteral("Import"), Role::normal,
                   [this, &pm] {
                       if (m_pendingDaVinciCSVURL)
                           (void)operations().importDaVinciCSV(pm, *m_pendingDaVinciCSVURL);
                       m_pendingDaVinciCSVURL.reset();
                   }},
                  {QStringLiteral("Cancel"), Role::cancel, [this] { m_pendingDaVinciCSVURL.reset(); }}});
         },
         [this] { m_showDaVinciImportConfirm = false; }});
    // 13
    m_chain->add(
        {QStringLiteral("Grant Access to Your Media"), [&pm] { return pm.shouldPromptForVolumeAccess(); },
         [this, alert, &pm] {
             return alert(
                 QStringLiteral("Grant Access to Your Media"),
                 WindowTexts::grantAccessMessage(pm.volumesNeedingAccess()),
                 {{QStringLiteral("Grant Access…"), Role::normal, [this] { showVolumeAccessPanel(); }},
                  {QStringLiteral("Not Now"), Role::cancel, {}}});
         },
         [&pm] { pm.setShouldPromptForVolumeAccess(false); }});
    // 14
    m_chain->add(
        {QStringLiteral("Still Can’t Read That Drive"), [&pm] { return pm.showGrantAccessFailure(); },
         [this, alert, &pm] {
             return alert(QStringLiteral("Still Can’t Read That Drive"),
                          WindowTexts::stillCantReadMessage(pm.grantAccessFailureMessage()),
                          {{QStringLiteral("Try Again"), Role::normal, [this] { showVolumeAccessPanel(); }},
                           {QStringLiteral("OK"), Role::cancel, {}}});
         },
         [&pm] { pm.setShowGrantAccessFailure(false); }});
    // 15
    m_chain->add(
        {QStringLiteral("Move Files to Folder?"),
         [this] { return m_showingMoveConfirm && m_pendingMoveFolder; },
         [this, alert, &pm] {
             const QUrl folder = *m_pendingMoveFolder;
             auto* dialog = static_cast<AlertDialog*>(alert(
                 QStringLiteral("Move Files to Folder?"),
                 WindowTexts::moveFilesMessage(pm.recycleBin().size(), folder),
                 {{QStringLiteral("Cancel"), Role::cancel, [this] { m_pendingMoveFolder.reset(); }},
                  {QStringLiteral("Move"), Role::normal, [this, folder] { startBinMoveRun(folder); }}}));
             dialog->buttons().at(1)->setEnabled(!m_binMoveRunning);
             return dialog;
         },
         [this] { m_showingMoveConfirm = false; }});
    // 16 to 20: the tool sheets
    struct Tool {
        QString name;
        bool ContentView::*flag;
        ViewFactories::Pane factory;
    };
    const QList<Tool> tools{
        {QStringLiteral("SearchOfflineFilesSheet"), &ContentView::m_showingSearchOffline,
         f.searchOfflineSheet},
        {QStringLiteral("StatsView"), &ContentView::m_showingStats, f.statsSheet},
        {QStringLiteral("ProtectedFoldersSheet"), &ContentView::m_showingProtectedFolders,
         f.protectedFoldersSheet},
        {QStringLiteral("SequenceUsageSheet"), &ContentView::m_showingSequenceUsage, f.sequenceUsageSheet},
        {QStringLiteral("TranscodeConfirmationSheet"), &ContentView::m_showingTranscodeConfirmation,
         f.transcodeConfirmationSheet},
        {QStringLiteral("EasyImportSheet"), &ContentView::m_showingEasyImport, f.easyImportSheet},
    };
    for (const Tool& tool : tools) {
        m_chain->add({tool.name, [this, flag = tool.flag] { return this->*flag; },
                      [this, tool] { return presentSheet(tool.factory); },
                      [this, flag = tool.flag] { this->*flag = false; }});
    }
}

void ContentView::openRecycleBinMovePanel() {
    OpenPanelRequest request;
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.message = QStringLiteral("Choose a folder to move the recycle bin's files into");
    const QList<QUrl> urls = m_filePanel->runOpenPanel(window(), request);
    if (urls.isEmpty())
        return;
    (void)m_grants->grant(urls.first());
    m_pendingMoveFolder = urls.first();
    m_showingMoveConfirm = true;
    schedulePresentations();
}

// ---- Setters --------------------------------------------------------------------------------

#define TARNWICK_PRESENTATION_SETTER(setter, field)                                                          \
    void ContentView::setter(bool on) {                                                                      \
        field = on;                                                                                          \
        if (on)                                                                                              \
            schedulePresentations();                                                                         \
    }

TARNWICK_PRESENTATION_SETTER(setShowingDeleteConfirmation, m_showingDeleteConfirmation)
TARNWICK_PRESENTATION_SETTER(setShowingPermanentDeleteSheet, m_showingPermanentDeleteSheet)
TARNWICK_PRESENTATION_SETTER(setShowingRecycleBinMovePanel, m_showingRecycleBinMovePanel)
TARNWICK_PRESENTATION_SETTER(setShowingTranscodeConfirmation, m_showingTranscodeConfirmation)
TARNWICK_PRESENTATION_SETTER(setShowingSearchOffline, m_showingSearchOffline)
TARNWICK_PRESENTATION_SETTER(setShowingAuditLog, m_showingAuditLog)
TARNWICK_PRESENTATION_SETTER(setShowingStats, m_showingStats)
TARNWICK_PRESENTATION_SETTER(setShowingProtectedFolders, m_showingProtectedFolders)
TARNWICK_PRESENTATION_SETTER(setShowingSequenceUsage, m_showingSequenceUsage)
TARNWICK_PRESENTATION_SETTER(setShowingEasyImport, m_showingEasyImport)
TARNWICK_PRESENTATION_SETTER(setShowingMovePanel, m_showingMovePanel)

#undef TARNWICK_PRESENTATION_SETTER

void ContentView::setDeletionResult(std::optional<DeletionResult> result) {
    m_deletionResult = std::move(result);
    schedulePresentations();
}

void ContentView::setMoveResult(std::optional<BinMoveResult> result) {
    m_moveResult = std::move(result);
    schedulePresentations();
}

void ContentView::setPendingDaVinciCSV(const QUrl& url) {
    m_pendingDaVinciCSVURL = url;
    m_showDaVinciImportConfirm = true;
    schedulePresentations();
}

} // namespace tarnwick
