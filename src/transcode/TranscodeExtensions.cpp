#include "transcode/TranscodeExtensions.h"

#include <QFileInfo>

namespace tarnwick::transcodeExtensions {

const QSet<QString>& neverTranscoded() {
    static const QSet<QString> set{QStringLiteral("r3d"), QStringLiteral("ari"), QStringLiteral("dng"),
                                   QStringLiteral("braw"), QStringLiteral("crm")};
    return set;
}

const QSet<QString>& proVideoFormats() {
    static const QSet<QString> set{QStringLiteral("mxf"), QStringLiteral("mts"), QStringLiteral("m2ts")};
    return set;
}

QString lowerExtension(const QString& path) {
    return QFileInfo(path).suffix().toLower();
}

bool isNeverTranscoded(const QString& path) {
    return neverTranscoded().contains(lowerExtension(path));
}

bool isProVideoFormat(const QString& path) {
    return proVideoFormats().contains(lowerExtension(path));
}

} // namespace tarnwick::transcodeExtensions
