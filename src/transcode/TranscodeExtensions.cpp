#include "transcode/TranscodeExtensions.h"

#include "platform/MediaExtensions.h"

#include <QFileInfo>

namespace tarnwick::transcodeExtensions {

QString lowerExtension(const QString& path) {
    return QFileInfo(path).suffix().toLower();
}

bool isNeverTranscoded(const QString& path) {
    return mediaExtensions::cameraRaw().contains(lowerExtension(path));
}

bool isProVideoFormat(const QString& path) {
    return mediaExtensions::proVideo().contains(lowerExtension(path));
}

} // namespace tarnwick::transcodeExtensions
