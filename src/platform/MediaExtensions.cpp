#include "platform/MediaExtensions.h"

namespace tarnwick::mediaExtensions {

const QSet<QString>& proVideo() {
    static const QSet<QString> set{QStringLiteral("mxf"), QStringLiteral("mts"), QStringLiteral("m2ts")};
    return set;
}

const QSet<QString>& cameraRaw() {
    static const QSet<QString> set{QStringLiteral("r3d"), QStringLiteral("ari"), QStringLiteral("braw"),
                                   QStringLiteral("dng"), QStringLiteral("crm")};
    return set;
}

} // namespace tarnwick::mediaExtensions
