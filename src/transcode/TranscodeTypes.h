#pragma once

#include "platform/FileOperations.h"
#include "transcode/TranscodeError.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarnwick {

// What a route leaves: the source's size as read before writing, the size of the file now in
// its place, and that file's path.
struct RouteResult {
    qint64 sourceSize = 0;
    qint64 newSize = 0;
    QString outputPath;
    friend bool operator==(const RouteResult&, const RouteResult&) = default;
};

// Fraction 0...1 of the current file; called from the engine's thread.
using TranscodeProgress = std::function<void(double)>;

// Asked before the encode starts and again right before each destructive step (replacing or
// trashing the source): an error refuses the file, the source is kept and the output removed.
// Called on the engine's thread.
using DestructiveStepCheck = std::function<std::optional<TranscodeError>(const QString& sourcePath)>;

struct TranscodeRequest {
    QString sourcePath;
    // The protected folders as the run saw them when it started.
    QStringList protectedFolders;
    DestructiveStepCheck destructiveStepCheck;
    TranscodeProgress onProgress;
    // The source as it was when its transcode started (recorded by the engine when not given): a
    // source that differs right before a destructive step is kept.
    std::optional<FileIdentity> sourceIdentity;
};

// Exactly one of the two is set.
struct TranscodeOutcome {
    std::optional<RouteResult> result;
    std::optional<TranscodeError> error;
};

} // namespace tarnwick
