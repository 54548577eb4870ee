// The tour's clean-up states: the delete alert, the bin, and its sheets and overlays raised with
// made-up outcomes (nothing on disk changes).
#include "app/tour/ScreenshotTour.h"

#include "actions/RemovalRules.h"
#include "analysis/ProjectManager.h"
#include "platform/FileMoveSupport.h"
#include "platform/PathText.h"
#include "transcode/TranscodeError.h"
#include "ui/common/Command.h"
#include "ui/common/ViewHelpers.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <algorithm>
#include <cerrno>

namespace tarnwick {

namespace {

// The tour's outcomes are runs over the bin as it stands: counts from its files, failures on its
// last files, for reasons that action can really give.
QList<RecycleBinItem> lastItems(const QList<RecycleBinItem>& bin, qsizetype count) {
    return bin.mid(std::max<qsizetype>(0, bin.size() - count));
}

QString nameOf(const RecycleBinItem& item) {
    return item.mediaFile.fileName();
}

QStringList moveErrors(const QList<RecycleBinItem>& failed) {
    QStringList errors;
    for (qsizetype i = 0; i < failed.size(); ++i)
        errors.append(nameOf(failed[i]) + QStringLiteral(": ") +
                      filemove::describeErrno(i % 2 == 0 ? EEXIST : ENOSPC));
    return errors;
}

QStringList trashErrors(const QList<RecycleBinItem>& failed) {
    QStringList errors;
    for (qsizetype i = 0; i < failed.size(); ++i)
        errors.append(i % 2 == 0
                          ? RemovalRules::nowInUseText(nameOf(failed[i]))
                          : nameOf(failed[i]) + QStringLiteral(": ") + filemove::describeErrno(EACCES));
    return errors;
}

// The bin's files a transcode would take: its videos.
QList<RecycleBinItem> binVideos(const QList<RecycleBinItem>& bin) {
    QList<RecycleBinItem> videos;
    for (const RecycleBinItem& item : bin)
        if (mediaKindFromExtension(path::pathExtension(item.mediaFile.path)) == MediaKind::video)
            videos.append(item);
    return videos;
}

qint64 bytesOf(const QList<RecycleBinItem>& items) {
    qint64 bytes = 0;
    for (const RecycleBinItem& item : items)
        bytes += item.mediaFile.size;
    return bytes;
}

// Two failures where the bin has more than two files, one where it has two, none below.
qsizetype failuresFor(qsizetype files) {
    return std::clamp<qsizetype>(files - 1, 0, 2);
}

} // namespace

void ScreenshotTour::deleteAlert() {
    m_steps << act(
                   [this] {
                       view().handleCommand(Command::addAllUnused);
                       view().presentations().confirmMoveToTrash();
                   },
                   500)
            << shotAndClose(QStringLiteral("alert-delete-files"));
}

void ScreenshotTour::binPane() {
    m_steps << shot(QStringLiteral("bin-pane"));
}

void ScreenshotTour::raisedSheet(const QString& name, Step raise) {
    m_steps << act(std::move(raise), 900) << shotAndClose(name);
}

// A run's result is shot over the bin as the run leaves it (only the files it kept); the bin is
// put back afterwards for the states that follow.
void ScreenshotTour::runResultSheet(
    const QString& name, bool withFailures,
    std::function<void(const QList<RecycleBinItem>& bin, const QList<RecycleBinItem>& failed)> show) {
    raisedSheet(name, [this, withFailures, show] {
        m_binBeforeRun = manager().recycleBin();
        const QList<RecycleBinItem> failed =
            lastItems(m_binBeforeRun, withFailures ? failuresFor(m_binBeforeRun.size()) : 0);
        manager().setRecycleBin(failed);
        manager().updateSummary();
        show(m_binBeforeRun, failed);
    });
    m_steps << act(
        [this] {
            manager().setRecycleBin(m_binBeforeRun);
            manager().updateSummary();
        },
        300);
}

void ScreenshotTour::permanentDeleteSheet() {
    raisedSheet(QStringLiteral("sheet-permanent-delete"),
                [this] { view().presentations().showSheet(WindowSheet::permanentDelete); });
}

void ScreenshotTour::transcodeConfirmationSheet() {
    raisedSheet(QStringLiteral("sheet-transcode-confirmation"),
                [this] { view().presentations().showSheet(WindowSheet::transcodeConfirmation); });
}

void ScreenshotTour::deletionResultSheet() {
    runResultSheet(QStringLiteral("sheet-deletion-result"), false, [this](const auto& bin, const auto&) {
        view().presentations().showDeletionResult(ActionResult::counted(bin.size()));
    });
}

void ScreenshotTour::moveResultWithErrors() {
    runResultSheet(
        QStringLiteral("sheet-move-result-errors"), true, [this](const auto& bin, const auto& failed) {
            view().presentations().showMoveResult(
                ActionResult::counted(bin.size() - failed.size(), failed.size(), moveErrors(failed)));
        });
}

void ScreenshotTour::trashFailureSheet() {
    runResultSheet(QStringLiteral("sheet-trash-failure"), true, [this](const auto& bin, const auto& failed) {
        view().presentations().showTrashFailure(
            {bin.size() - failed.size(), failed.size(), trashErrors(failed), failed});
    });
}

void ScreenshotTour::moveProgress() {
    m_steps << act(
                   [this] {
                       const QList<RecycleBinItem>& bin = manager().recycleBin();
                       const qsizetype done = bin.size() / 2;
                       manager().updateMoveProgress([&](MoveProgress& move) {
                           move.moveTotalFiles = bin.size();
                           move.moveTotalBytes = bytesOf(bin);
                           move.moveFilesCompleted = done;
                           move.moveBytesCompleted = bytesOf(bin.mid(0, done));
                           move.moveProgressFraction =
                               move.moveTotalBytes > 0 ? double(move.moveBytesCompleted) / move.moveTotalBytes
                                                       : 0;
                           move.moveMBps = 183.4;
                           move.moveCurrentFile = done < bin.size() ? bin[done].mediaFile.path : QString();
                           move.isMoveInProgress = true;
                       });
                   },
                   400)
            << shot(QStringLiteral("overlay-move-progress"));
}

void ScreenshotTour::transcodeProgress() {
    m_steps << act(
                   [this] {
                       manager().updateMoveProgress(
                           [](MoveProgress& move) { move.isMoveInProgress = false; });
                       const QList<RecycleBinItem> videos = binVideos(manager().recycleBin());
                       const qsizetype done = videos.size() / 2;
                       manager().updateTranscodeProgress([&](TranscodeRunProgress& transcode) {
                           transcode.transcodeTotalFiles = videos.size();
                           transcode.transcodeFilesCompleted = done;
                           transcode.transcodeProgressFraction =
                               videos.isEmpty() ? 0 : (done + 0.4) / double(videos.size());
                           transcode.transcodeSpaceSaved = bytesOf(videos.mid(0, done)) * 6 / 10;
                           transcode.transcodeCurrentFile =
                               done < videos.size() ? nameOf(videos[done]) : QString();
                           transcode.isTranscodeInProgress = true;
                       });
                   },
                   400)
            << shot(QStringLiteral("overlay-transcode-progress"));
}

void ScreenshotTour::transcodeResult() {
    m_steps << act(
                   [this] {
                       // The last video changed while it was transcoded and was kept.
                       const QList<RecycleBinItem> videos = binVideos(manager().recycleBin());
                       const QList<RecycleBinItem> failed = lastItems(videos, videos.size() > 1 ? 1 : 0);
                       QStringList errors;
                       for (const RecycleBinItem& item : failed)
                           errors.append(nameOf(item) + QStringLiteral(": ") +
                                         TranscodeError::sourceChanged().description());
                       const QList<RecycleBinItem> replaced = videos.mid(0, videos.size() - failed.size());
                       manager().updateTranscodeProgress([&](TranscodeRunProgress& transcode) {
                           transcode.isTranscodeInProgress = false;
                           transcode.transcodeCompleteResult =
                               TranscodeCompleteResult{int(replaced.size()),       0,      int(failed.size()),
                                                       bytesOf(replaced) * 6 / 10, errors, false};
                           transcode.showTranscodeComplete = true;
                       });
                   },
                   400)
            << shot(QStringLiteral("overlay-transcode-result"));
}

void ScreenshotTour::transcodeDone() {
    m_steps << act(
                   [this] {
                       const QList<RecycleBinItem> videos = binVideos(manager().recycleBin());
                       manager().updateTranscodeProgress([&](TranscodeRunProgress& transcode) {
                           transcode.transcodeCompleteResult = TranscodeCompleteResult{
                               int(videos.size()), 0, 0, bytesOf(videos) * 6 / 10, {}, false};
                           transcode.showTranscodeComplete = true;
                       });
                   },
                   400)
            << shot(QStringLiteral("overlay-transcode-done"));
}

// As Done does, so the next result gets a card of its own.
void ScreenshotTour::dismissTranscodeResult() {
    m_steps << act(
        [this] {
            manager().updateTranscodeProgress([](TranscodeRunProgress& transcode) {
                transcode.showTranscodeComplete = false;
                transcode.transcodeCompleteResult = std::nullopt;
            });
        },
        300);
}

} // namespace tarnwick
