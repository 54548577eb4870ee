// The route frame and the end of every route: free space, the temporary output, verification and
// the replacement of the source.
#include "platform/AppLog.h"
#include "platform/ByteCountText.h"
#include "platform/FileOperations.h"
#include "platform/LeftoverSweep.h"
#include "platform/VolumeCapacity.h"
#include "transcode/MediaInspection.h"
#include "transcode/TranscodeEngine.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace tarnwick {

namespace {

QString errorText(const FileOpStatus& status) {
    if (!status.message.isEmpty())
        return status.message;
    return QString::fromLocal8Bit(std::strerror(status.code));
}

void settled(const TranscodeRequest& request, bool happened) {
    if (request.recorder.settled)
        request.recorder.settled(happened);
}

// The step's record first; a record that could not be kept keeps the original.
void intend(const TranscodeRequest& request, const RouteFrame& frame, const QString& resultPath,
            qint64 resultSize) {
    if (request.recorder.intend)
        request.recorder.intend(
            {request.sourcePath, frame.sourceIdentity, frame.sourceSize, resultPath, resultSize});
    const QString refusal = request.recorder.refusal ? request.recorder.refusal() : QString();
    if (refusal.isEmpty())
        return;
    settled(request, false);
    throw TranscodeError::encodingFailed(QStringLiteral("its replacement could not be recorded (") + refusal +
                                         QStringLiteral("); the original was kept"));
}

} // namespace

void TranscodeEngine::checkFreeSpace(qint64 sourceSize, const QString& outputFolder) {
    if (sourceSize < 1)
        return;
    const qint64 need = static_cast<qint64>(double(sourceSize) * 1.2) + 50'000'000;
    const auto available = m_services.availableCapacity ? m_services.availableCapacity(outputFolder)
                                                        : availableCapacity(outputFolder);
    if (!available)
        return;
    if (*available < need)
        throw TranscodeError::encodingFailed(
            QStringLiteral("not enough free space to transcode (need ~%1, have %2)")
                .arg(formatFileByteCount(need), formatFileByteCount(*available)));
}

RouteFrame TranscodeEngine::openFrame(const TranscodeRequest& request) {
    const QString& source = request.sourcePath;
    const FileOpInfo info = m_fileOps->status(source, false);
    const FileOpInfo target = info.kind == FileKind::symlink ? m_fileOps->status(source, true) : info;
    const qint64 size = target.kind == FileKind::regular ? target.size : 0;
    const FileIdentity identity = request.sourceIdentity ? *request.sourceIdentity : info.identity();
    const QString folder = QFileInfo(source).path();
    // Our leftovers there go first (once per run when the run keeps a sweep).
    if (request.leftovers)
        request.leftovers->sweep(*m_fileOps, folder);
    else
        LeftoverSweep::sweepFolder(*m_fileOps, folder);
    checkFreeSpace(size, folder);
    return {size, identity, TranscodeTemporary::create(*m_fileOps, source, identity)};
}

void TranscodeEngine::verifyOutput(const QString& outputPath, double sourceDuration, int sourceAudioStreams) {
    const FileOpInfo info = m_fileOps->status(outputPath, true);
    if (info.kind == FileKind::missing)
        throw TranscodeError::encodingFailed(QStringLiteral("transcoded file is missing"));
    const qint64 size = info.kind == FileKind::regular ? info.size : 0;
    if (size <= 4096)
        throw TranscodeError::encodingFailed(
            QStringLiteral("transcoded file is empty or truncated (%1 bytes)").arg(size));
    // A frame decoded for real: a container that merely opens is not proof of a playable movie.
    const MediaFacts facts = inspectMedia(outputPath, true);
    if (!facts.decodedVideoFrame)
        throw TranscodeError::encodingFailed(QStringLiteral("transcoded file has no decodable video track"));
    if (facts.audioStreams < sourceAudioStreams)
        throw TranscodeError::encodingFailed(QStringLiteral("transcoded file is missing audio tracks"));
    if (sourceDuration > 1.0) {
        const double t = facts.opened ? facts.duration : 0.0;
        const double tolerance = sourceDuration * 0.05 >= 1.0 ? sourceDuration * 0.05 : 1.0;
        if (!(t > 0 && t >= sourceDuration - tolerance))
            throw TranscodeError::encodingFailed(QString::asprintf(
                "transcoded duration %.1fs is much shorter than source %.1fs — likely truncated", t,
                sourceDuration));
    }
}

void TranscodeEngine::throwIfSourceChanged(const TranscodeRequest& request, const RouteFrame& frame) {
    // Another file may have taken the source's name (a copy finishing, an editor saving a new
    // render), or the source may have been written to: what was encoded is not what is there.
    const FileOpInfo now = m_fileOps->status(request.sourcePath, false);
    if (now.kind == FileKind::missing || now.identity() != frame.sourceIdentity) {
        AppLog::warning(QStringLiteral("  Transcode: original kept: it changed while transcoding"));
        throw TranscodeError::sourceChanged();
    }
}

void TranscodeEngine::checkBeforeDestructiveStep(const TranscodeRequest& request, const RouteFrame& frame,
                                                 const QString& outputAt) {
    if (request.destructiveStepCheck) {
        if (auto refusal = request.destructiveStepCheck(request.sourcePath)) {
            AppLog::warning(QStringLiteral("  Transcode: original kept: ") + refusal->description());
            throw *refusal;
        }
    }
    // Last, right before the step.
    throwIfSourceChanged(request, frame);
    if (!frame.output.isAt(outputAt))
        throw TranscodeError::encodingFailed(
            QStringLiteral("the transcoded file was replaced by another; the original was kept"));
}

RouteResult TranscodeEngine::replaceOriginal(const TranscodeRequest& request, RouteFrame& frame,
                                             double sourceDuration) {
    const QString& source = request.sourcePath;
    const QString& outputPath = frame.output.path();
    const int sourceAudio = inspectMedia(source, false).audioStreams;
    // A failure from here on removes the output with the frame.
    verifyOutput(outputPath, sourceDuration, sourceAudio);
    throwIfSourceChanged(request, frame);
    // Replacing with something larger would only lose quality; for a .mov it is irreversible.
    const qint64 outputSize = m_fileOps->status(outputPath, true).size;
    const FileOpInfo current = m_fileOps->status(source, true);
    const qint64 sourceNow = current.kind == FileKind::regular ? current.size : frame.sourceSize;
    if (outputSize >= sourceNow)
        throw TranscodeError::encodingFailed(
            QStringLiteral("transcoded file is not smaller than the source; the original was kept"));
    frame.output.sync(); // the slow part of the replace, done before its checks
    throwIfCancelled();
    if (QFileInfo(source).suffix().compare(QLatin1String("mov"), Qt::CaseInsensitive) == 0)
        return replaceMov(request, frame);
    return replaceOther(request, frame);
}

RouteResult TranscodeEngine::replaceMov(const TranscodeRequest& request, RouteFrame& frame) {
    const QString& source = request.sourcePath;
    checkBeforeDestructiveStep(request, frame, frame.output.path());
    const FileOpInfo output = m_fileOps->status(frame.output.path(), true);
    intend(request, frame, source, output.size);
    // fsync, rename over the source, fsync the folder: at every moment one of the two files is there.
    const FileOpStatus status = m_fileOps->replaceAtomically(frame.output.path(), source);
    settled(request, bool(status));
    if (!status)
        throw TranscodeError::encodingFailed(QStringLiteral("could not replace the original (") +
                                             errorText(status) + QStringLiteral("); the original was kept"));
    frame.output.handOver();
    const FileOpInfo info = m_fileOps->status(source, true);
    return {frame.sourceSize, info.kind == FileKind::regular ? info.size : 0, source};
}

RouteResult TranscodeEngine::replaceOther(const TranscodeRequest& request, RouteFrame& frame) {
    const QString& source = request.sourcePath;
    const QFileInfo info(source);
    const QDir folder = info.dir();
    const QString base = info.completeBaseName();
    checkBeforeDestructiveStep(request, frame, frame.output.path());
    QString target;
    FileOpStatus moved = FileOpStatus::failure(EEXIST);
    // The no-replace move decides which name is free, so a file appearing meanwhile is never overwritten.
    for (int k = 0; k <= 100'000 && moved.code == EEXIST; ++k) {
        const QString suffix = k == 0 ? QString() : QLatin1Char('_') + QString::number(k);
        target = folder.filePath(base + suffix + QStringLiteral(".mov"));
        if (m_fileOps->status(target, false).kind != FileKind::missing)
            continue;
        moved = m_fileOps->moveNoReplace(frame.output.path(), target);
    }
    if (!moved)
        throw TranscodeError::encodingFailed(QStringLiteral("could not give the transcoded file its name (") +
                                             errorText(moved) + QStringLiteral("); the original was kept"));
    // From here a failure removes the output from its new name.
    frame.output.movedTo(target);
    checkBeforeDestructiveStep(request, frame, target);
    intend(request, frame, target, m_fileOps->status(target, true).size);
    const TrashOutcome trashed = m_fileOps->moveToTrash(source);
    settled(request, bool(trashed.status));
    if (!trashed.status) {
        AppLog::warning(QStringLiteral("  Transcode: original kept because it could not move to Trash: ") +
                        errorText(trashed.status));
        throw TranscodeError::encodingFailed(
            QStringLiteral("could not move the original to Trash; the original was kept"));
    }
    frame.output.handOver();
    const FileOpInfo out = m_fileOps->status(target, true);
    return {frame.sourceSize, out.kind == FileKind::regular ? out.size : 0, target};
}

} // namespace tarnwick
