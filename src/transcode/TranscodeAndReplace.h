#pragma once

#include "actions/CleanupRun.h"
#include "transcode/TranscodeTypes.h"

#include <QStringList>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace tarnwick {

class ProjectManager;
class RecordRun;
class TranscodeEngine;
struct MediaFile;

// The totals of one run, as the completion overlay shows them (also in transcodeCompleteResult()).
struct TranscodeRunTotals {
    int transcoded = 0;
    int skipped = 0;
    int failed = 0;
    qint64 spaceSaved = 0;
    QStringList errors;
    // Why the run stopped before the end because its records could not be kept; empty otherwise.
    QString unrecorded = {};
    friend bool operator==(const TranscodeRunTotals&, const TranscodeRunTotals&) = default;
};

// The protection tests of the clean-up actions, passed in so the run uses the same ones.
struct TranscodeRunChecks {
    // Staging-time test of a path against the manager's protected folders.
    std::function<bool(const ProjectManager&, const QString& path)> isProtected;
    // Action-time test of the staged file against the live media list (GUI thread), before the
    // encode and before each destructive step: an error refuses the file.
    std::function<std::optional<TranscodeError>(const ProjectManager&, const MediaFile& staged,
                                                const QString& canonicalSourcePath)>
        refuseDestructiveStep;

    static TranscodeRunChecks defaults();
};

// Why a run leaves a staged file out before it starts, if it does: a kind never transcoded, or a
// protected folder (tested where the file was found). The confirmation counts by the same rule.
enum class TranscodeSkip { neverTranscoded, protectedFolder };
std::optional<TranscodeSkip> transcodeSkip(const MediaFile& staged,
                                           const std::function<bool(const QString& path)>& isProtected);

// Writes the record of `file`'s transcode to `run` around the step that replaces it: the
// "Transcoded & Replaced" entry and the bytes saved, decided by the disk after a kill in between.
// `run` must outlive the transcode.
ReplaceRecorder transcodeRecorder(RecordRun& run, const MediaFile& file);

// Transcodes every transcodable item of the recycle bin in place, one after another, on the GUI
// thread's event loop: progress, cancel between files and inside a file, media list and bin
// updates, audit entries and statistics. Holds the manager's operation gate while it runs.
QCoro::Task<TranscodeRunTotals>
transcodeAndReplace(ProjectManager& manager, TranscodeEngine& engine,
                    TranscodeRunChecks checks = TranscodeRunChecks::defaults());

// The progress overlay's Cancel: stops the run before the next file and kills the running child.
void cancelTranscode(ProjectManager& manager, TranscodeEngine& engine);

// Transcode & Replace over the bin as the clean-up runner holds it: its progress and its
// cancellation go through the manager's transcode fields and the window's one engine.
class TranscodeAndReplace : public CleanupRun {
public:
    // The engine outlives the run.
    TranscodeAndReplace(ProjectManager& manager, TranscodeEngine& engine, QString description);

protected:
    QCoro::Task<CleanupResult> work() override;
    void stop() override;
    Progress liveProgress() const override;

private:
    TranscodeEngine& m_engine;
};

} // namespace tarnwick
