#pragma once

#include "platform/FileOperations.h"
#include "transcode/TranscodeError.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

class LeftoverSweep;

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

// The step that takes the source's place: the output renamed over a .mov source, or the source
// moved to the Trash once the output holds its .mov name beside it.
struct ReplaceStep {
    QString sourcePath;
    FileIdentity sourceIdentity;
    qint64 sourceSize = 0;
    QString resultPath; // where the transcoded file is once the step is done
    qint64 resultSize = 0;
};

// Told on the engine's thread right before that step and right after it, so the step's record is
// written ahead of it: a kill in between leaves the disk to decide whether the file was replaced.
struct ReplaceRecorder {
    std::function<void(const ReplaceStep&)> intend;
    std::function<void(bool happened)> settled;
    // Asked right after intend: why the step must not go ahead (its record could not be kept),
    // empty when it may.
    std::function<QString()> refusal;
};

struct TranscodeRequest {
    QString sourcePath;
    // The protected folders as the run saw them when it started.
    QStringList protectedFolders;
    DestructiveStepCheck destructiveStepCheck;
    TranscodeProgress onProgress;
    // The source as it was when its transcode started (recorded by the engine when not given): a
    // source that differs right before a destructive step is kept.
    std::optional<FileIdentity> sourceIdentity;
    // Either may be null.
    ReplaceRecorder recorder;
    // The run's sweep of our leftovers; none: the source's folder is swept for this file alone.
    std::shared_ptr<LeftoverSweep> leftovers;
};

// Where a source is transcoded: in this process through the media libraries, or by the ffmpeg
// program; none when it has no video to transcode (the run reports it without a route).
enum class TranscodeRoute { inProcess, ffmpeg, none };

// Exactly one of the two is set.
struct TranscodeOutcome {
    std::optional<RouteResult> result;
    std::optional<TranscodeError> error;
};

} // namespace tarnwick
