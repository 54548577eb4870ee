#pragma once

#include "model/RecycleBinItem.h"

#include <QList>
#include <QStringList>

namespace tarnwick {

// What a Trash, permanent-deletion or move run reports, for the window's result sheets.
struct ActionResult {
    qint64 succeeded = 0; // files trashed, deleted or moved
    qint64 failed = 0;
    QStringList errors;                // one per failed file, in run order
    QList<RecycleBinItem> failedItems; // removals: the items that stayed in the bin, in bin order
    // Refused before anything was touched (another operation held the manager, or a folder that
    // would leave every file where it is): errors holds the reason.
    bool refused = false;
    // "N files were removed but could not be recorded: REASON", when their records could be kept
    // nowhere; empty otherwise.
    QString unrecorded = {};

    static ActionResult counted(qint64 succeeded, qint64 failed = 0, QStringList errors = {}) {
        ActionResult result;
        result.succeeded = succeeded;
        result.failed = failed;
        result.errors = std::move(errors);
        return result;
    }
};

} // namespace tarnwick
