#include "ui/window/WindowTexts.h"

#include "platform/ByteCountText.h"

#include <QFileInfo>

namespace tarnwick::WindowTexts {

namespace {
QString lastComponent(const QUrl& url) {
    QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return QFileInfo(path).fileName();
}
} // namespace

QString deleteFilesMessage(qint64 binCount, qint64 binBytes) {
    return QStringLiteral("Move %1 file(s) to Trash?\n\nTotal size: %2")
        .arg(QString::number(binCount), formatFileByteCount(binBytes));
}

QString offlineMediaMessage(int offlineFiles) {
    return QStringLiteral("%1 file(s) are offline or missing. Would you like to scan a folder to find them?")
        .arg(offlineFiles);
}

QString missingAEPMessage(int uncertainAEFiles) {
    return QStringLiteral("%1 media file(s) may be used in After Effects compositions, but the linked .aep "
                          "file(s) could not be found. These clips show as Unused with a warning icon.")
        .arg(uncertainAEFiles);
}

QString proVideoFormatsMessage() {
    return QStringLiteral(
        "Some of your media (MXF / professional formats) won't preview natively on this "
        "computer. Installing an FFmpeg build with MXF support lets it decode them directly "
        "— much faster than Tarnwick's built-in fallback.");
}

QString importDaVinciConfirmMessage() {
    return QStringLiteral(
        "Tarnwick will mark every clip in this CSV as unused, based on your DaVinci Resolve export. Confirm "
        "you "
        "filtered to UNUSED clips (Usage = 0) in Resolve first — importing a full or unfiltered export would "
        "mark in-use clips as deletable. Imported clips are tagged “DaVinci CSV” and kept separate from "
        "timeline-verified results.");
}

QString volumeNames(const QList<QUrl>& volumes) {
    QStringList names;
    for (const QUrl& url : volumes)
        names.append(lastComponent(url));
    return names.join(QStringLiteral(", "));
}

QString grantAccessMessage(const QList<QUrl>& volumes) {
    QString names = volumeNames(volumes);
    if (names.isEmpty())
        names = QStringLiteral("another drive");
    return QStringLiteral("Some of this project's media lives on ") + names +
           QStringLiteral(
               ", which Tarnwick doesn't have permission to read yet. Grant access so it can scan and "
               "preview those clips.");
}

QString stillCantReadMessage(const std::optional<QString>& failure) {
    return failure.value_or(QStringLiteral("Access was approved but the media still couldn't be read."));
}

QString csvExportedMessage(const QString& path, bool opened, bool revealed) {
    const QString written = QStringLiteral("The list of unused files was written to “%1”.").arg(path);
    if (opened)
        return written;
    if (revealed)
        return written +
               QStringLiteral(" No application here opens CSV files, so it is shown in the file manager.");
    return written + QStringLiteral(" No application here opens CSV files.");
}

QString csvExportFailedMessage(const QString& reason) {
    return QStringLiteral("The list of unused files could not be written: %1.").arg(reason);
}

QString noMailProgramMessage(const QString& address) {
    return QStringLiteral("No mail program here could open the support request. Write to %1 from the mail "
                          "service you use.")
        .arg(address);
}

QString moveFilesMessage(qint64 count, const QUrl& folder) {
    return QStringLiteral("Move %1 file(s) to “%2”? Originals are relocated with their directory structure "
                          "preserved.")
        .arg(QString::number(count), lastComponent(folder));
}

QString volumeAccessPanelMessage(const QList<QUrl>& volumes) {
    const QString names = volumeNames(volumes);
    if (!names.isEmpty())
        return QStringLiteral("Select ") + names +
               QStringLiteral(
                   " so Tarnwick can read the media stored there. You can Ctrl-click to select several "
                   "drives at once — granting a drive covers everything on it.");
    return QStringLiteral(
        "Select the drive(s) or folder(s) holding your media so Tarnwick can read and preview "
        "the clips.");
}

QString grantFailureMessage(const QList<QUrl>& failed) {
    return QStringLiteral("Access was approved, but Tarnwick still can't read: ") + volumeNames(failed) +
           QStringLiteral(
               ". If that's a network share, make sure it's connected and you have permission to read "
               "it; otherwise try reconnecting the drive and granting again.");
}

QString driveAccessPanelMessage() {
    return QStringLiteral("Grant Tarnwick access to a drive or folder so it can scan and clean up everything "
                          "inside it. Ctrl-click to grant several at once.");
}

QUrl proVideoFormatsHelpURL() {
    static const QUrl url = [] {
        QUrl parsed(QStringLiteral("https://ffmpeg.org/ffmpeg-formats.html#mxf"));
        return parsed.isValid() ? parsed : QUrl::fromLocalFile(QStringLiteral("/"));
    }();
    return url;
}

} // namespace tarnwick::WindowTexts
