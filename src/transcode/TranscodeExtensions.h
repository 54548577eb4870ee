#pragma once

#include <QString>

namespace tarnwick::transcodeExtensions {

// The path's extension, lower-cased ("" when none).
QString lowerExtension(const QString& path);
// A proprietary camera format (mediaExtensions::cameraRaw): never transcoded.
bool isNeverTranscoded(const QString& path);
// A container the in-process route is not trusted with when the professional formats are missing
// (mediaExtensions::proVideo): without a probe the run then sends it to ffmpeg.
bool isProVideoFormat(const QString& path);

} // namespace tarnwick::transcodeExtensions
