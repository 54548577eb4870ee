// The sidebar's clean-up actions: stage every safe unused file, move them to a folder, export.
#include "analysis/ProjectManagerFace.h"
#include "ui/cleanup/CleanupRunner.h"
#include "ui/cleanup/WindowFacts.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/FilePanel.h"
#include "ui/common/PresentationChain.h"
#include "ui/common/ViewHelpers.h"
#include "ui/sidebar/SidebarTexts.h"
#include "ui/sidebar/SidebarView.h"

#include <QFileInfo>
#include <QPushButton>

namespace tarnwick {

namespace {
using Role = AlertButton::Role;
} // namespace

void SidebarView::addAllUnusedToBin() {
    QList<MediaFile> eligible;
    for (const MediaFile& file : m_manager.mediaFiles()) {
        if (CleanupOperations::isEligibleUnused(file))
            eligible.append(file);
    }
    CleanupOperations& ops = m_services.operations;
    const auto& facts = m_services.facts;
    // With current facts, a safe list as long as the eligible one means no conflicts: skip the check.
    const bool knownClean = facts.isCurrent() && facts.facts().safeToStage.size() == eligible.size();
    const QList<CleanupOperations::Conflict> conflicts =
        knownClean ? QList<CleanupOperations::Conflict>{}
                   : ops.findDeleteSafetyConflicts(eligible, m_manager.mediaFiles());
    if (conflicts.isEmpty()) {
        ops.addToRecycleBin(m_manager.manager(), knownClean
                                                     ? facts.facts().safeToStage
                                                     : ops.unusedFilesSafeToStage(m_manager.mediaFiles()));
        return;
    }
    warnOfConflicts(eligible, conflicts);
}

// Nothing is staged until the user says so; then every eligible file, conflicting ones included.
void SidebarView::warnOfConflicts(const QList<MediaFile>& eligible,
                                  const QList<CleanupOperations::Conflict>& conflicts) {
    QStringList reasons;
    for (const auto& conflict : conflicts)
        reasons.append(conflict.reason);
    m_services.chain.request(Presentation::deleteSafety, [this, eligible, reasons] {
        return AlertDialog::present(
            window(), QStringLiteral("⚠️ Potentially Used Media"), deleteSafetyMessage(reasons),
            {{QStringLiteral("Cancel"), Role::cancel, {}},
             {QStringLiteral("Move to Recycle Anyway"), Role::destructive,
              [this, eligible] { m_services.operations.addToRecycleBin(m_manager.manager(), eligible); }}});
    });
}

void SidebarView::chooseUnusedMoveFolder() {
    m_services.chain.request(Presentation::unusedMoveFolder, [this] {
        OpenPanelRequest request;
        request.canChooseFiles = false;
        request.canChooseDirectories = true;
        request.message = QStringLiteral("Choose a folder to move the unused files into");
        return chooseWithAccess(
            m_services.panel, m_services.grants, window(), request, this,
            [this](const GrantedChoice& choice) { confirmUnusedMove(choice.urls.first()); });
    });
}

void SidebarView::confirmUnusedMove(const QUrl& folder) {
    m_services.chain.request(Presentation::unusedMoveConfirm, [this, folder] {
        // The count is the safe list as the alert shows; the move reads it again when it starts.
        const qsizetype count = m_services.facts.facts().safeToStage.size();
        auto* dialog = AlertDialog::present(
            window(), QStringLiteral("Move Unused Files to Folder?"),
            SidebarTexts::moveUnusedMessage(count, QFileInfo(folder.toLocalFile()).fileName()),
            {{QStringLiteral("Cancel"), Role::cancel, {}},
             {QStringLiteral("Move"), Role::movesFiles, [this, folder] { startUnusedMove(folder); }}});
        dialog->buttons().at(1)->setEnabled(count > 0 && !isUnusedMoveRunning());
        return dialog;
    });
}

bool SidebarView::isUnusedMoveRunning() const {
    return m_services.runner.isBusyWith(CleanupRunKind::unusedMove);
}

// The run reads the safe list again when it starts: it may have changed while the alert was up.
void SidebarView::startUnusedMove(const QUrl& folder) {
    m_services.runner.request(CleanupRunKind::unusedMove, folder);
}

} // namespace tarnwick
