// The sidebar's clean-up actions: stage every safe unused file, move them to a folder, export.
#include "analysis/ProjectManager.h"
#include "stores/SecurityScopedAccess.h"
#include "ui/brand/BrandButton.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/FilePanel.h"
#include "ui/common/ViewHelpers.h"
#include "ui/sidebar/SidebarTexts.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/window/ContentView.h"
#include "ui/window/PresentationChain.h"
#include "ui/window/WindowFacts.h"

#include <QFileInfo>
#include <QPushButton>

namespace tarnwick {

void SidebarView::addAllUnusedToBin() {
    QList<MediaFile> eligible;
    for (const MediaFile& file : m_manager.mediaFiles()) {
        if (CleanupOperations::isEligibleUnused(file))
            eligible.append(file);
    }
    CleanupOperations& ops = m_window.operations();
    const auto& facts = m_window.facts();
    // With current facts, a safe list as long as the eligible one means no conflicts: skip the check.
    const bool knownClean = facts.isCurrent() && facts.facts().safeToStage.size() == eligible.size();
    const QList<CleanupOperations::Conflict> conflicts =
        knownClean ? QList<CleanupOperations::Conflict>{}
                   : ops.findDeleteSafetyConflicts(eligible, m_manager.mediaFiles());
    if (conflicts.isEmpty()) {
        ops.addToRecycleBin(m_manager, knownClean ? facts.facts().safeToStage
                                                  : ops.unusedFilesSafeToStage(m_manager.mediaFiles()));
        return;
    }
    m_pendingDeleteFiles = eligible;
    m_deleteConflicts = conflicts;
    m_showDeleteSafetyWarning = true;
    m_window.presentations().schedule();
}

void SidebarView::chooseUnusedMoveFolder() {
    OpenPanelRequest request;
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.message = QStringLiteral("Choose a folder to move the unused files into");
    const QList<QUrl> urls = m_window.filePanel().runOpenPanel(window(), request);
    if (urls.isEmpty())
        return;
    (void)m_window.grants().grant(urls.first());
    m_pendingUnusedMoveFolder = urls.first();
    m_showingUnusedMoveConfirm = true;
    m_window.presentations().schedule();
}

void SidebarView::startUnusedMove(const QUrl& folder) {
    if (m_unusedMoveRunning)
        return;
    if (m_manager.isBusy()) {
        m_window.showBusyAlert(m_manager.busyReason());
        return;
    }
    m_unusedMoveRunning = true;
    refreshSweep();
    // Read again now: the list may have changed while the alert was up.
    const QList<MediaFile> files = m_window.operations().unusedFilesSafeToStage(m_manager.mediaFiles());
    QCoro::connect(m_window.operations().moveFilesToFolder(m_manager, files, folder), this,
                   [this](CleanupOperations::MoveResult result) {
                       m_unusedMoveRunning = false;
                       m_window.setMoveResult(BinMoveResult{result.moved, result.failed, result.errors});
                       m_pendingUnusedMoveFolder.reset();
                       refreshSweep();
                   });
}

void SidebarView::addPresentations() {
    using Role = AlertButton::Role;
    PresentationChain& chain = m_window.presentations();
    chain.add({QStringLiteral("⚠️ Potentially Used Media"), [this] { return m_showDeleteSafetyWarning; },
               [this] {
                   QStringList reasons;
                   for (const auto& conflict : m_deleteConflicts)
                       reasons.append(conflict.reason);
                   return AlertDialog::present(
                       window(), QStringLiteral("⚠️ Potentially Used Media"),
                       deleteSafetyMessage(reasons),
                       {{QStringLiteral("Cancel"), Role::cancel,
                         [this] {
                             m_pendingDeleteFiles.clear();
                             m_deleteConflicts.clear();
                         }},
                        {QStringLiteral("Move to Recycle Anyway"), Role::destructive, [this] {
                             m_window.operations().addToRecycleBin(m_manager, m_pendingDeleteFiles);
                             m_pendingDeleteFiles.clear();
                             m_deleteConflicts.clear();
                         }}});
               },
               [this] { m_showDeleteSafetyWarning = false; }});
    chain.add({QStringLiteral("unusedFolderImporter"), [this] { return m_window.showingMovePanel(); },
               [this]() -> QDialog* {
                   m_window.setShowingMovePanel(false);
                   chooseUnusedMoveFolder();
                   return nullptr;
               },
               [this] { m_window.setShowingMovePanel(false); }});
    chain.add(
        {QStringLiteral("Move Unused Files to Folder?"),
         [this] { return m_showingUnusedMoveConfirm && m_pendingUnusedMoveFolder; },
         [this] {
             const QUrl folder = *m_pendingUnusedMoveFolder;
             const auto& facts = m_window.facts().facts();
             auto* dialog = AlertDialog::present(
                 window(), QStringLiteral("Move Unused Files to Folder?"),
                 SidebarTexts::moveUnusedMessage(facts.safeToStage.size(),
                                                 QFileInfo(folder.toLocalFile()).fileName()),
                 {{QStringLiteral("Cancel"), Role::cancel, [this] { m_pendingUnusedMoveFolder.reset(); }},
                  {QStringLiteral("Move"), Role::normal, [this, folder] { startUnusedMove(folder); }}});
             dialog->buttons().at(1)->setEnabled(!m_unusedMoveRunning);
             return dialog;
         },
         [this] { m_showingUnusedMoveConfirm = false; }});
}

} // namespace tarnwick
