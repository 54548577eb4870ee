#include "ui/bin/BinTexts.h"

#include "platform/ByteCountText.h"
#include "transcode/TranscodeExtensions.h"
#include "ui/brand/BrandPalette.h"
#include "ui/common/ViewHelpers.h"

#include <QFileInfo>

#include <algorithm>

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

namespace {

QString sourceOf(const RecycleBinItem& item) {
    return item.mediaFile.matchedPath.value_or(item.mediaFile.path);
}

// The first five lines, then "  ... and N more".
QStringList firstFive(const QList<RecycleBinItem>& items,
                      const std::function<QString(const RecycleBinItem&)>& line) {
    QStringList lines;
    for (qsizetype i = 0; i < items.size() && i < 5; ++i)
        lines.append(QStringLiteral("  ") + line(items.at(i)));
    if (items.size() > 5)
        lines.append(QStringLiteral("  ... and ") + QString::number(items.size() - 5) +
                     QStringLiteral(" more"));
    return lines;
}

} // namespace

TranscodePlan TranscodePlan::of(const QList<RecycleBinItem>& bin,
                                const std::function<bool(const QString& path)>& isProtected,
                                const RouteOf& routeOf) {
    TranscodePlan plan;
    for (const RecycleBinItem& item : bin) {
        const QString& path = item.mediaFile.path;
        if (const auto skip = transcodeSkip(item.mediaFile, isProtected)) {
            plan.skippedItems.append(item);
            plan.skipReasons.append(*skip);
            continue;
        }
        ++plan.transcodable;
        plan.sourceSize += item.mediaFile.size;
        const std::optional<TranscodeRoute> route =
            routeOf ? routeOf(sourceOf(item))
                    : (transcodeExtensions::isProVideoFormat(path) ? TranscodeRoute::ffmpeg
                                                                   : TranscodeRoute::inProcess);
        if (!route)
            plan.unplanned.append(sourceOf(item));
        else if (*route == TranscodeRoute::ffmpeg)
            plan.ffmpegItems.append(item);
        // The replacing step keeps a .mov source's name and gives any other a .mov one; a still or a
        // sound has no video track to transcode and keeps its name.
        const QString extension = transcodeExtensions::lowerExtension(sourceOf(item));
        const MediaKind kind = mediaKindFromExtension(extension);
        if (extension != QLatin1String("mov") && kind != MediaKind::image && kind != MediaKind::audio)
            plan.renamedItems.append(item);
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
    // The kinds named only where they are all there is: other files go to ffmpeg too when it is
    // there (their audio, a codec the libraries do not encode from).
    const bool professional =
        std::all_of(ffmpegItems.cbegin(), ffmpegItems.cend(), [](const RecycleBinItem& item) {
            return transcodeExtensions::isProVideoFormat(item.mediaFile.path);
        });
    if (hasFFmpeg)
        return QString::number(ffmpegItems.size()) +
               QStringLiteral(" file(s) will use ffmpeg for transcoding") +
               (professional ? QStringLiteral(" (MXF/MTS)") : QString());
    return QString::number(ffmpegItems.size()) + QStringLiteral(" file(s) require ffmpeg (not installed)");
}

QStringList TranscodePlan::ffmpegLines() const {
    return firstFive(ffmpegItems,
                     [](const RecycleBinItem& item) { return QFileInfo(item.mediaFile.path).fileName(); });
}

QString TranscodePlan::skippedLabel() const {
    const bool proprietary = skipReasons.contains(TranscodeSkip::neverTranscoded);
    const bool isProtected = skipReasons.contains(TranscodeSkip::protectedFolder);
    const QString why = !isProtected  ? QStringLiteral("proprietary codec")
                        : proprietary ? QStringLiteral("proprietary codec or protected folder")
                                      : QStringLiteral("protected folder");
    return QString::number(skippedItems.size()) + QStringLiteral(" file(s) will be skipped (") + why +
           QStringLiteral(")");
}

QStringList TranscodePlan::skippedLines() const {
    QStringList lines;
    for (qsizetype i = 0; i < skippedItems.size(); ++i) {
        const QString path = skippedItems.at(i).mediaFile.path;
        const QString why = skipReasons.value(i) == TranscodeSkip::protectedFolder
                                ? QStringLiteral("protected folder")
                                : transcodeExtensions::lowerExtension(path).toUpper();
        lines.append(QStringLiteral("  ") + QFileInfo(path).fileName() + QStringLiteral(" (") + why +
                     QStringLiteral(")"));
    }
    return lines;
}

QString TranscodePlan::renamedLabel() const {
    return QString::number(renamedItems.size()) +
           QStringLiteral(" file(s) will change their extension to .mov");
}

QStringList TranscodePlan::renamedLines() const {
    return firstFive(renamedItems, [](const RecycleBinItem& item) -> QString {
        const QFileInfo source(sourceOf(item));
        return source.fileName() + QStringLiteral(" → ") + source.completeBaseName() + QStringLiteral(".mov");
    });
}

QString transcodeSource(const RecycleBinItem& item) {
    return sourceOf(item);
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
