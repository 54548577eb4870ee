#include "ui/window/PresentationChain.h"

namespace tarnwick {

QString text(Presentation presentation) {
    switch (presentation) {
    case Presentation::busyAlert:
        return QStringLiteral("busy");
    case Presentation::deleteFiles:
        return QStringLiteral("Delete Files");
    case Presentation::trashFailure:
        return QStringLiteral("TrashFailureSheet");
    case Presentation::permanentDelete:
        return QStringLiteral("PermanentDeleteConfirmSheet");
    case Presentation::deletionResult:
        return QStringLiteral("DeletionResultView");
    case Presentation::moveResult:
        return QStringLiteral("OperationResultView");
    case Presentation::binMoveFolder:
        return QStringLiteral("folderImporter");
    case Presentation::auditLog:
        return QStringLiteral("AuditLogView");
    case Presentation::offlineMedia:
        return QStringLiteral("Offline Media Detected");
    case Presentation::missingAEP:
        return QStringLiteral("Missing After Effects Projects");
    case Presentation::proVideoFormats:
        return QStringLiteral("Preview These Natively?");
    case Presentation::daVinciImportResult:
        return QStringLiteral("DaVinci CSV Import");
    case Presentation::daVinciImportConfirm:
        return QStringLiteral("Import DaVinci CSV as Unused?");
    case Presentation::grantAccess:
        return QStringLiteral("Grant Access to Your Media");
    case Presentation::grantAccessFailure:
        return QStringLiteral("Still Can’t Read That Drive");
    case Presentation::binMoveConfirm:
        return QStringLiteral("Move Files to Folder?");
    case Presentation::searchOffline:
        return QStringLiteral("SearchOfflineFilesSheet");
    case Presentation::stats:
        return QStringLiteral("StatsView");
    case Presentation::protectedFolders:
        return QStringLiteral("ProtectedFoldersSheet");
    case Presentation::sequenceUsage:
        return QStringLiteral("SequenceUsageSheet");
    case Presentation::transcodeConfirmation:
        return QStringLiteral("TranscodeConfirmationSheet");
    case Presentation::easyImport:
        return QStringLiteral("EasyImportSheet");
    case Presentation::deleteSafety:
        return QStringLiteral("⚠️ Potentially Used Media");
    case Presentation::unusedMoveFolder:
        return QStringLiteral("unusedFolderImporter");
    case Presentation::unusedMoveConfirm:
        return QStringLiteral("Move Unused Files to Folder?");
    }
    return {};
}

void PresentationChain::request(Presentation which, Present present) {
    m_slots[which].requested = std::move(present);
    schedule();
}

bool PresentationChain::isRequested(Presentation which) const {
    const auto it = m_slots.find(which);
    return it != m_slots.end() && it->second.requested;
}

void PresentationChain::watch(Presentation which, std::function<bool()> isDue, Present present,
                              std::function<void()> lower) {
    Slot& slot = m_slots[which];
    slot.isDue = std::move(isDue);
    slot.present = std::move(present);
    slot.lower = std::move(lower);
}

void PresentationChain::schedule() {
    if (m_scheduled)
        return;
    m_scheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_scheduled = false;
            evaluate();
        },
        Qt::QueuedConnection);
}

void PresentationChain::evaluate() {
    if (m_current || (m_held && m_held()))
        return;
    // One pass in order; what a presentation raises for an earlier place shows on the next pass.
    for (auto& [which, slot] : m_slots) {
        if (slot.requested) {
            const Present present = std::exchange(slot.requested, {});
            if (QDialog* dialog = present()) {
                show(which, dialog, {});
                return;
            }
        } else if (slot.isDue && slot.isDue()) {
            if (QDialog* dialog = slot.present()) {
                show(which, dialog, slot.lower);
                return;
            }
            slot.lower();
        }
    }
}

void PresentationChain::show(Presentation which, QDialog* dialog, std::function<void()> lower) {
    m_current = dialog;
    m_currentWhich = which;
    connect(dialog, &QDialog::finished, this, [this, dialog, lower = std::move(lower)] {
        if (m_current == dialog)
            m_current = nullptr;
        if (lower)
            lower();
        schedule();
    });
}

} // namespace tarnwick
