#pragma once

#include <QSet>
#include <QString>

// File extensions (lower-case, without the dot) that the previews and the transcode both treat apart.
namespace tarnwick::mediaExtensions {

// Professional-video containers ("mxf", "mts", "m2ts"): the in-process decoders are trusted with them
// only when the professional formats are installed; otherwise ffmpeg reads them.
const QSet<QString>& proVideo();
// Proprietary camera formats ("r3d", "ari", "braw", "dng", "crm"): ffmpeg or a placeholder shows
// them, and they are never transcoded.
const QSet<QString>& cameraRaw();

} // namespace tarnwick::mediaExtensions
