#pragma once

#include "ui/common/Command.h"

#include <QString>

#include <optional>

namespace tarnwick {

// The window's alerts, sheets and panels, in the order the chain looks at them.
enum class Presentation {
    busyAlert,
    deleteFiles,
    trashFailure,
    permanentDelete,
    deletionResult,
    moveResult,
    binMoveFolder,
    auditLog,
    offlineMedia,
    missingAEP,
    proVideoFormats,
    daVinciImportResult,
    daVinciImportConfirm,
    csvExported,
    csvExportFailed,
    noMailProgram,
    noFileManager,
    grantAccess,
    grantAccessFailure,
    binMoveConfirm,
    searchOffline,
    stats,
    protectedFolders,
    sequenceUsage,
    transcodeConfirmation,
    easyImport,
    // The sidebar's, after the window's own.
    deleteSafety,
    unusedMoveFolder,
    unusedMoveConfirm,
    // Last of all: it asks only once nothing else is due.
    reviewPrompt,
    count // not a presentation: how many there are, for the tables' checks
};

// Its name in logs and tests: the alert's title or the sheet's view ("Delete Files", "StatsView").
QString text(Presentation presentation);

// The sheet a command shows, when it shows one ("showStats": the statistics).
std::optional<Presentation> presentationShownBy(Command command);

} // namespace tarnwick
