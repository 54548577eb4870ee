#pragma once

#include "actions/CleanupResult.h"

#include <QString>
#include <QUrl>

namespace tarnwick::CleanupTexts {

// What a run waiting for the manager is called in the window's busy line.
QString waitingText(CleanupRunKind kind, const QUrl& folder);
// Why a run asked for while another of its kind goes on or waits is refused.
QString alreadyAskedReason(CleanupRunKind kind);
QString cancelledBeforeStartReason();

// "Deletion Complete" (Trash and permanent deletion), "Move Complete", "Transcode Complete".
QString resultTitle(CleanupRunKind kind);
// The headline of a refused run: it never says "Complete".
QString refusedTitle(CleanupRunKind kind);

// What the result sheet shows for a result.
struct ResultLook {
    bool success = true; // no failures: green check; else orange triangle
    QString symbol;
    QString headline;
    QString counts;
    bool showErrors = false;
    QString unrecorded; // files removed whose records could be kept nowhere: a warning line
};
ResultLook resultLook(const CleanupResult& result);

} // namespace tarnwick::CleanupTexts
