#pragma once

#include <QSet>
#include <QString>

namespace tarnwick::transcodeExtensions {

// Proprietary camera formats that are never transcoded ("r3d", "ari", "dng", "braw", "crm").
const QSet<QString>& neverTranscoded();
// Containers the in-process route is not trusted with when the professional formats are missing
// ("mxf", "mts", "m2ts"); the confirmation sheet lists them as needing ffmpeg.
const QSet<QString>& proVideoFormats();

// The path's extension, lower-cased ("" when none).
QString lowerExtension(const QString& path);
bool isNeverTranscoded(const QString& path);
bool isProVideoFormat(const QString& path);

} // namespace tarnwick::transcodeExtensions
