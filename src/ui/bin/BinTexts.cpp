#include "ui/bin/BinTexts.h"

#include "platform/ByteCountText.h"
#include "transcode/TranscodeExtensions.h"
#include "ui/brand/BrandPalette.h"

#include <QFileInfo>

namespace tarnwick::BinTexts {

QString rowSizeText(qint64 bytes) {
    return bytes == 0 ? QStringLiteral("—") : formatFileByteCount(bytes);
}

bool isDeleteConfirmed(const QString& typed) {
    const QString lower = typed.toLower();
    qsizetype begin = 0;
    qsizetype end = lower.size();
    auto blank = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
    };
    while (begin < end && blank(lower.at(begin)))
        ++begin;
    while (end > begin && blank(lower.at(end - 1)))
        --end;
    return QStringView(lower).mid(begin, end - begin) == QLatin1String("delete");
}

QString permanentDeleteMessage(qsizetype count, qint64 totalBytes) {
    return QStringLiteral("This will permanently delete ") + QString::number(count) +
           QStringLiteral(" file(s) (") + formatFileByteCount(totalBytes) +
           QStringLiteral("). This action cannot be undone.");
}

QString percentText(double fraction) {
    return QString::asprintf("%.0f%%", fraction * 100.0);
}

QString filesCounter(qint64 done, qint64 total) {
    return QString::number(done) + QStringLiteral(" / ") + QString::number(total);
}

QString moveSizeCounter(qint64 done, qint64 total) {
    return formatFileByteCount(done) + QStringLiteral(" / ") + formatFileByteCount(total);
}

QString speedText(double mibPerSecond) {
    return QString::asprintf("%.1f MB/s", mibPerSecond);
}

ProgressView progressView(const MoveProgress& move) {
    return {move.moveCurrentFile,
            move.moveProgressFraction,
            {filesCounter(move.moveFilesCompleted, move.moveTotalFiles),
             moveSizeCounter(move.moveBytesCompleted, move.moveTotalBytes), speedText(move.moveMBps)},
            move.cancelMoveRequested};
}

ProgressView progressView(const TranscodeRunProgress& transcode) {
    return {transcode.transcodeCurrentFile,
            transcode.transcodeProgressFraction,
            {filesCounter(transcode.transcodeFilesCompleted, transcode.transcodeTotalFiles),
             formatFileByteCount(transcode.transcodeSpaceSaved)},
            false};
}

QString trashFailureSummary(int successCount, qsizetype failedCount) {
    const QString tail =
        QString::number(failedCount) + QStringLiteral(" file(s) could not be moved to Trash.");
    if (successCount < 1)
        return tail;
    return QString::number(successCount) + QStringLiteral(" file(s) trashed successfully, but ") + tail;
}

QString trashFailureQuestion(const QList<RecycleBinItem>& failedItems) {
    qint64 total = 0;
    for (const RecycleBinItem& item : failedItems)
        total += item.mediaFile.size;
    return QStringLiteral("What would you like to do with these ") + QString::number(failedItems.size()) +
           QStringLiteral(" file(s) (") + formatFileByteCount(total) + QStringLiteral(")?");
}

QString moveToFolderConfirm(qsizetype binCount, const QString& folderPath) {
    return QStringLiteral("Move ") + QString::number(binCount) + QStringLiteral(" file(s) to “") +
           QFileInfo(folderPath).fileName() + QStringLiteral("”?");
}

TranscodePlan TranscodePlan::of(const QList<RecycleBinItem>& bin) {
    TranscodePlan plan;
    for (const RecycleBinItem& item : bin) {
        const QString& path = item.mediaFile.path;
        if (transcodeExtensions::isNeverTranscoded(path)) {
            plan.skippedItems.append(item);
            continue;
        }
        ++plan.transcodable;
        plan.sourceSize += item.mediaFile.size;
        if (transcodeExtensions::isProVideoFormat(path))
            plan.ffmpegItems.append(item);
    }
    plan.estimatedSize = plan.sourceSize / 8;
    return plan;
}

QString TranscodePlan::description() const {
    return QString::number(transcodable) +
           QStringLiteral(" file(s) will be transcoded to HEVC at visually equivalent quality, then the "
                          "originals will be permanently replaced.");
}

QString TranscodePlan::ffmpegLabel(bool hasFFmpeg) const {
    if (hasFFmpeg)
        return QString::number(ffmpegItems.size()) +
               QStringLiteral(" file(s) will use ffmpeg for transcoding (MXF/MTS)");
    return QString::number(ffmpegItems.size()) + QStringLiteral(" file(s) require ffmpeg (not installed)");
}

QStringList TranscodePlan::ffmpegLines() const {
    QStringList lines;
    for (qsizetype i = 0; i < ffmpegItems.size() && i < 5; ++i)
        lines.append(QStringLiteral("  ") + QFileInfo(ffmpegItems.at(i).mediaFile.path).fileName());
    if (ffmpegItems.size() > 5)
        lines.append(QStringLiteral("  ... and ") + QString::number(ffmpegItems.size() - 5) +
                     QStringLiteral(" more"));
    return lines;
}

QString TranscodePlan::skippedLabel() const {
    return QString::number(skippedItems.size()) +
           QStringLiteral(" file(s) will be skipped (proprietary codec)");
}

QStringList TranscodePlan::skippedLines() const {
    QStringList lines;
    for (const RecycleBinItem& item : skippedItems) {
        const QString path = item.mediaFile.path;
        lines.append(QStringLiteral("  ") + QFileInfo(path).fileName() + QStringLiteral(" (") +
                     transcodeExtensions::lowerExtension(path).toUpper() + QStringLiteral(")"));
    }
    return lines;
}

QString ffmpegInstallHint() {
    return QStringLiteral("Install via: sudo apt install ffmpeg");
}

TranscodeResultLook transcodeResultLook(const TranscodeCompleteResult& r) {
    TranscodeResultLook look;
    if (r.wasCancelled) {
        look.symbol = QStringLiteral("stop.circle");
        look.iconColor = Color::darkSystemOrange();
    } else if (r.failed < 1 && r.unrecorded.isEmpty()) {
        look.symbol = QStringLiteral("checkmark.circle");
        look.iconColor = Color::successGreen();
    } else {
        look.symbol = QStringLiteral("exclamationmark.triangle");
        look.iconColor = Color::darkSystemYellow();
    }
    look.title =
        r.wasCancelled ? QStringLiteral("Transcode Cancelled") : QStringLiteral("Transcode Complete");
    if (r.transcoded >= 1) {
        look.columns.append(
            {QStringLiteral("Transcoded"), QString::number(r.transcoded), Color::successGreen(), false});
        look.columns.append(
            {QStringLiteral("Space Saved"), formatFileByteCount(r.spaceSaved), Color::successGreen(), true});
    }
    if (r.skipped >= 1)
        look.columns.append(
            {QStringLiteral("Skipped"), QString::number(r.skipped), Color::darkSystemOrange(), true});
    if (r.failed >= 1)
        look.columns.append(
            {QStringLiteral("Failed"), QString::number(r.failed), Color::darkSystemRed(), true});
    look.showErrors = !r.errors.isEmpty();
    look.showNote = r.transcoded >= 1;
    return look;
}

QString transcodeNote() {
    return QStringLiteral(
        "Files have been replaced with smaller HEVC versions. Check the file list for updated "
        "sizes.");
}

} // namespace tarnwick::BinTexts
