#pragma once

#include <QStringList>
#include <QtGlobal>

namespace tarnwick {

// The outcome of one transcode-and-replace run.
struct TranscodeCompleteResult {
    int transcoded = 0; // files transcoded and replaced
    int skipped = 0;
    int failed = 0;
    qint64 spaceSaved = 0;
    QStringList errors;
    bool wasCancelled = false;
    // Why the run stopped because its records could not be kept (RecordOutcome); empty otherwise.
    QString unrecorded = {};

    friend bool operator==(const TranscodeCompleteResult&, const TranscodeCompleteResult&) = default;
};

} // namespace tarnwick
