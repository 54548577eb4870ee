#pragma once

#include "analysis/MoveProgress.h"
#include "analysis/TranscodeRunProgress.h"
#include "model/RecycleBinItem.h"
#include "model/TranscodeCompleteResult.h"
#include "transcode/TranscodeAndReplace.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

namespace tarnwick::BinTexts {

// ---- Recycle bin pane -------------------------------------------------------------------------
// A row's size: the file-style byte count, or an em dash for an empty file.
QString rowSizeText(qint64 bytes);

// ---- Permanent deletion -----------------------------------------------------------------------
// Lower-cased, then trimmed of spaces and tabs, equal to "delete".
bool isDeleteConfirmed(const QString& typed);
QString permanentDeleteMessage(qsizetype count, qint64 totalBytes);

// ---- Progress cards ---------------------------------------------------------------------------
QString percentText(double fraction); // "%.0f%%" of fraction × 100
QString filesCounter(qint64 done, qint64 total);
QString moveSizeCounter(qint64 done, qint64 total);
QString speedText(double mibPerSecond);
// What a progress card shows at one moment, from a move's or a transcode run's progress.
struct ProgressView {
    QString currentFile;
    double fraction = 0;
    QStringList counters; // one value per counter column of the card, in order
    bool cancelling = false;
};
// Files, total size, speed; Cancel waits for the file in flight once asked.
ProgressView progressView(const MoveProgress& move);
// Files, space saved; Cancel stays available.
ProgressView progressView(const TranscodeRunProgress& transcode);

// ---- Trash failure sheet ----------------------------------------------------------------------
QString trashFailureSummary(int successCount, qsizetype failedCount);
QString trashFailureQuestion(const QList<RecycleBinItem>& failedItems);
QString moveToFolderConfirm(qsizetype binCount, const QString& folderPath);

// ---- Transcode confirmation -------------------------------------------------------------------
// Counts the files the run will try, by the run's own rule, so the sheet, the progress and the
// result count the same files.
struct TranscodePlan {
    // Where the run sends a source path first; nothing while that is not known yet.
    using RouteOf = std::function<std::optional<TranscodeRoute>(const QString& source)>;

    int transcodable = 0;
    QList<RecycleBinItem> ffmpegItems; // the transcodable ones the run hands to the ffmpeg program
    QStringList unplanned;             // sources of transcodable ones whose route is not known yet
    QList<RecycleBinItem> skippedItems;
    QList<TranscodeSkip> skipReasons;   // one per skipped item
    QList<RecycleBinItem> renamedItems; // transcodable, not .mov: their output takes a .mov name
    qint64 sourceSize = 0;
    qint64 estimatedSize = 0; // sourceSize / 8

    // Without `routeOf` a professional format counts as ffmpeg's, any other file as the libraries'.
    static TranscodePlan of(const QList<RecycleBinItem>& bin,
                            const std::function<bool(const QString& path)>& isProtected = {},
                            const RouteOf& routeOf = {});
    QString description() const;
    // The ffmpeg box's label: the files ffmpeg will transcode, or that need it while it is missing.
    QString ffmpegLabel(bool hasFFmpeg) const;
    // Up to five "  name" lines, then "  ... and N more".
    QStringList ffmpegLines() const;
    QString skippedLabel() const;
    QStringList skippedLines() const;
    QString renamedLabel() const;
    // Up to five "  A.mp4 → A.mov" lines, then "  ... and N more".
    QStringList renamedLines() const;
};
QString ffmpegInstallHint();
// The sources a transcode run reads (a relocated file's new place).
QString transcodeSource(const RecycleBinItem& item);

// ---- Transcode result card --------------------------------------------------------------------
struct TranscodeColumn {
    QString caption;
    QString value;
    QColor color;
    bool dividerBefore = false;
};
struct TranscodeResultLook {
    QString symbol;
    QColor iconColor;
    QString title;
    QList<TranscodeColumn> columns;
    bool showErrors = false;
    bool showNote = false;
};
TranscodeResultLook transcodeResultLook(const TranscodeCompleteResult& result);
QString transcodeNote();

} // namespace tarnwick::BinTexts
