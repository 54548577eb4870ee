#pragma once

#include "analysis/DuplicateDetectionCore.h"
#include "model/MediaFile.h"

#include <QList>

#include <functional>

#include <optional>

namespace tarnwick {

// Marks media entries whose files hold the same bytes at different paths (`duplicateOfPath`) and
// records a digest per examined entry (`fileHash`). Blocking, on pools of its own: the manager
// runs it off the GUI thread and stores the returned list.
class DuplicateDetector {
public:
    // Absent when cancelled (the caller keeps its list). An entry whose file stopped answering
    // comes back offline (networkOffline on network storage).
    static std::optional<QList<MediaFile>>
    detectContentDuplicates(QList<MediaFile> files, const DuplicateDetectionCore::Settings& settings = {});

    // The same with its log lines held back, to be written (in order) only if the result is used:
    // a search made ahead of time that may be thrown away.
    struct Quiet {
        std::optional<QList<MediaFile>> files;
        std::function<void()> writeLog;
    };
    static Quiet detectQuietly(QList<MediaFile> files, const DuplicateDetectionCore::Settings& settings = {});
};

} // namespace tarnwick
