#pragma once

#include "readers/ResolveCSVMessages.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

#include <optional>

namespace tarnwick {

// The questions and alerts the window raises after an import, a grant of access or a DaVinci
// Resolve import. Each prompt is raised once per session (hasPrompted...), and shown while its
// should... or show... flag is set; the window clears that flag when it has shown it.
struct PromptState {
    bool shouldPromptForScan = false;
    bool hasPromptedForScan = false;
    bool shouldPromptForMissingAEP = false;
    bool hasPromptedForMissingAEP = false;
    bool shouldPromptForProVideoFormats = false;
    bool hasPromptedForProVideoFormats = false;
    bool shouldPromptForVolumeAccess = false;
    QList<QUrl> volumesNeedingAccess;
    QSet<QString> promptedVolumePaths; // each volume is asked about once
    std::optional<QString> grantAccessFailureMessage;
    bool showGrantAccessFailure = false;
    std::optional<DaVinciCSVImportSummary> lastDaVinciImport;
    std::optional<QString> daVinciImportMessage;
    bool showDaVinciImportResult = false;

    friend bool operator==(const PromptState&, const PromptState&) = default;
};

} // namespace tarnwick
