#include "ui/cleanup/CleanupTexts.h"

#include <QFileInfo>

namespace tarnwick::CleanupTexts {

namespace {
QString folderName(const QUrl& folder) {
    QString path = folder.toLocalFile();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}
} // namespace

QString waitingText(CleanupRunKind kind, const QUrl& folder) {
    switch (kind) {
    case CleanupRunKind::trash:
        return QStringLiteral("Move the recycle bin to the Trash");
    case CleanupRunKind::deletion:
        return QStringLiteral("Delete the recycle bin permanently");
    case CleanupRunKind::binMove:
        return QStringLiteral("Move the recycle bin to “%1”").arg(folderName(folder));
    case CleanupRunKind::unusedMove:
        return QStringLiteral("Move the unused files to “%1”").arg(folderName(folder));
    case CleanupRunKind::transcode:
        return QStringLiteral("Transcode & Replace the recycle bin");
    }
    return {};
}

QString alreadyAskedReason(CleanupRunKind kind) {
    switch (kind) {
    case CleanupRunKind::trash:
        return QStringLiteral("Moving the recycle bin to the Trash is already under way.");
    case CleanupRunKind::deletion:
        return QStringLiteral("Deleting the recycle bin is already under way.");
    case CleanupRunKind::binMove:
        return QStringLiteral("Moving the recycle bin to a folder is already under way.");
    case CleanupRunKind::unusedMove:
        return QStringLiteral("Moving the unused files to a folder is already under way.");
    case CleanupRunKind::transcode:
        return QStringLiteral("Transcoding the recycle bin is already under way.");
    }
    return {};
}

QString cancelledBeforeStartReason() {
    return QStringLiteral("Cancelled before it started.");
}

QString resultTitle(CleanupRunKind kind) {
    switch (kind) {
    case CleanupRunKind::trash:
    case CleanupRunKind::deletion:
        return QStringLiteral("Deletion Complete");
    case CleanupRunKind::binMove:
    case CleanupRunKind::unusedMove:
        return QStringLiteral("Move Complete");
    case CleanupRunKind::transcode:
        return QStringLiteral("Transcode Complete");
    }
    return {};
}

QString refusedTitle(CleanupRunKind kind) {
    switch (kind) {
    case CleanupRunKind::trash:
        return QStringLiteral("Move to Trash Not Started");
    case CleanupRunKind::deletion:
        return QStringLiteral("Deletion Not Started");
    case CleanupRunKind::binMove:
    case CleanupRunKind::unusedMove:
        return QStringLiteral("Move Not Started");
    case CleanupRunKind::transcode:
        return QStringLiteral("Transcode Not Started");
    }
    return {};
}

ResultLook resultLook(const CleanupResult& result) {
    ResultLook look;
    const ActionResult& counts = result.action;
    look.success = !result.isRefused() && counts.failed == 0 && counts.unrecorded.isEmpty();
    look.unrecorded = counts.unrecorded;
    if (result.isRefused()) {
        look.symbol = QStringLiteral("exclamationmark.triangle.fill");
        look.headline = refusedTitle(result.kind);
        look.counts = *result.refusal + QStringLiteral("\nNo file was changed.");
    } else if (counts.failed == 0) {
        look.symbol = look.success ? QStringLiteral("checkmark.circle.fill")
                                   : QStringLiteral("exclamationmark.triangle.fill");
        look.headline = resultTitle(result.kind);
        look.counts = QString::number(counts.succeeded) + QStringLiteral(" file(s) processed successfully");
    } else {
        look.symbol = QStringLiteral("exclamationmark.triangle.fill");
        look.headline = resultTitle(result.kind) + QStringLiteral(" with Errors");
        look.counts = QString::number(counts.succeeded) + QStringLiteral(" succeeded, ") +
                      QString::number(counts.failed) + QStringLiteral(" failed");
        look.showErrors = !counts.errors.isEmpty();
    }
    return look;
}

} // namespace tarnwick::CleanupTexts
