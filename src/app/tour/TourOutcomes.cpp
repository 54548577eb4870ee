#include "app/tour/TourOutcomes.h"

#include "actions/RemovalRules.h"
#include "platform/FileMoveSupport.h"
#include "platform/PathText.h"
#include "transcode/TranscodeAndReplace.h"
#include "transcode/TranscodeError.h"
#include "ui/common/ViewHelpers.h"

#include <QSet>

#include <algorithm>
#include <cerrno>

namespace tarnwick::tourOutcomes {

namespace {

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

// Two failures where the bin has more than two files, one where it has two, none below.
qsizetype failuresFor(qsizetype files) {
    return std::clamp<qsizetype>(files - 1, 0, 2);
}

} // namespace

QList<RecycleBinItem> lastItems(const QList<RecycleBinItem>& bin, qsizetype count) {
    return bin.mid(std::max<qsizetype>(0, bin.size() - count));
}

QList<RecycleBinItem> videos(const QList<RecycleBinItem>& bin) {
    QList<RecycleBinItem> videos;
    for (const RecycleBinItem& item : bin)
        if (mediaKindFromExtension(path::pathExtension(item.mediaFile.path)) == MediaKind::video)
            videos.append(item);
    return videos;
}

QList<RecycleBinItem> transcodable(const QList<RecycleBinItem>& bin) {
    QList<RecycleBinItem> tried;
    for (const RecycleBinItem& item : bin)
        if (!transcodeSkip(item.mediaFile, {}))
            tried.append(item);
    return tried;
}

qint64 bytesOf(const QList<RecycleBinItem>& items) {
    qint64 bytes = 0;
    for (const RecycleBinItem& item : items)
        bytes += item.mediaFile.size;
    return bytes;
}

ActionResult deletion(const QList<RecycleBinItem>& bin) {
    return ActionResult::counted(bin.size());
}

ActionResult moveWithErrors(const QList<RecycleBinItem>& bin) {
    const QList<RecycleBinItem> failed = lastItems(bin, failuresFor(bin.size()));
    return ActionResult::counted(bin.size() - failed.size(), failed.size(), moveErrors(failed));
}

ActionResult trashWithFailures(const QList<RecycleBinItem>& bin) {
    const QList<RecycleBinItem> failed = lastItems(bin, failuresFor(bin.size()));
    return {bin.size() - failed.size(), failed.size(), trashErrors(failed), failed};
}

// Replacing a file frees about four tenths of it.
TranscodeCompleteResult transcodeWithErrors(const QList<RecycleBinItem>& bin) {
    const QList<RecycleBinItem> tried = transcodable(bin);
    QList<RecycleBinItem> replaced = videos(tried);
    QSet<QUuid> isVideo;
    for (const RecycleBinItem& item : replaced)
        isVideo.insert(item.id);
    QStringList errors;
    for (const RecycleBinItem& item : tried)
        if (!isVideo.contains(item.id))
            errors.append(TranscodeError::noVideoTrack(nameOf(item)).lineFor(nameOf(item)));
    if (errors.isEmpty() && replaced.size() > 1)
        errors.append(TranscodeError::sourceChanged().lineFor(nameOf(replaced.takeLast())));
    const int failed = int(errors.size());
    return {int(replaced.size()),
            int(bin.size() - tried.size()),
            failed,
            bytesOf(replaced) * 4 / 10,
            errors,
            false};
}

TranscodeCompleteResult transcodeDone(const QList<RecycleBinItem>& bin) {
    const QList<RecycleBinItem> all = videos(bin);
    return {int(all.size()), 0, 0, bytesOf(all) * 4 / 10, {}, false};
}

} // namespace tarnwick::tourOutcomes
