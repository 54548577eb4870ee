#pragma once

#include "model/TranscodeCompleteResult.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarnwick {

// A transcode run as the window follows it, and its outcome, shown while showTranscodeComplete is set.
struct TranscodeRunProgress {
    bool isTranscodeInProgress = false;
    double transcodeProgressFraction = 0;
    QString transcodeCurrentFile;
    qint64 transcodeFilesCompleted = 0;
    qint64 transcodeTotalFiles = 0;
    qint64 transcodeSpaceSaved = 0;
    bool transcodeShouldCancel = false;
    bool showTranscodeComplete = false;
    std::optional<TranscodeCompleteResult> transcodeCompleteResult;

    friend bool operator==(const TranscodeRunProgress&, const TranscodeRunProgress&) = default;
};

} // namespace tarnwick
