#pragma once

#include <QtGlobal>

namespace tarnwick {

// The totals shown in the sidebar; computed by the project manager's summary update.
struct AnalysisSummary {
    int totalProjects = 0;
    int totalMediaFiles = 0;
    int usedFiles = 0;
    int unusedFiles = 0;
    int audioOnlyFiles = 0;
    int onlineFiles = 0;
    int relocatedFiles = 0;
    int matchingFiles = 0;
    int offlineFiles = 0;
    int networkOfflineFiles = 0;
    int duplicateFiles = 0;
    int aeLinkedFiles = 0;
    int uncertainAEFiles = 0;
    qint64 totalSize = 0;
    qint64 unusedSize = 0;
    qint64 recycleBinSize = 0;
    int recycleBinCount = 0;

    friend bool operator==(const AnalysisSummary&, const AnalysisSummary&) = default;
};

} // namespace tarnwick
