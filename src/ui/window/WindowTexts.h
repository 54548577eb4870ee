#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace tarnwick::WindowTexts {

// Alert and panel texts of the main window, exactly as shown.
QString deleteFilesMessage(qint64 binCount, qint64 binBytes);
QString offlineMediaMessage(int offlineFiles);
QString missingAEPMessage(int uncertainAEFiles);
QString proVideoFormatsMessage();
QString importDaVinciConfirmMessage();
// Says only what happened: opened, else shown in the file manager, else just written.
QString csvExportedMessage(const QString& path, bool opened, bool revealed);
QString csvExportFailedMessage(const QString& reason);
// No mail program took the support request: the address to write to instead.
QString noMailProgramMessage(const QString& address);
QString volumeNames(const QList<QUrl>& volumes);
QString grantAccessMessage(const QList<QUrl>& volumes);
QString stillCantReadMessage(const std::optional<QString>& failure);
QString moveFilesMessage(qint64 count, const QUrl& folder);
QString volumeAccessPanelMessage(const QList<QUrl>& volumes);
QString grantFailureMessage(const QList<QUrl>& failed);
QString driveAccessPanelMessage();

// The page the professional-formats prompt's "Download" opens (reading MXF with FFmpeg).
QUrl proVideoFormatsHelpURL();

} // namespace tarnwick::WindowTexts
