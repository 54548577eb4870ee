#include "transcode/InProcessRoute.h"

#include <QFileInfo>

namespace tarnwick {

RouteResult UnavailableInProcessRoute::transcode(TranscodeEngine&, const TranscodeRequest& request,
                                                 const std::atomic_bool&) {
    throw TranscodeError::cannotReadAsset(QFileInfo(request.sourcePath).fileName() +
                                          QStringLiteral(" (in-process encoding not available)"));
}

} // namespace tarnwick
