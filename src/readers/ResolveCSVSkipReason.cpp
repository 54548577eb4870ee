#include "readers/ResolveCSVSkipReason.h"

namespace tarnwick {

QString text(ResolveCSVSkipReason reason) {
    switch (reason) {
    case ResolveCSVSkipReason::emptyFileName:
        return QStringLiteral("emptyFileName");
    case ResolveCSVSkipReason::emptyDirectory:
        return QStringLiteral("emptyDirectory");
    case ResolveCSVSkipReason::notMediaFile:
        return QStringLiteral("notMediaFile");
    }
    return {};
}

std::optional<ResolveCSVSkipReason> resolveCSVSkipReasonFromText(const QString& value) {
    for (ResolveCSVSkipReason r : {ResolveCSVSkipReason::emptyFileName, ResolveCSVSkipReason::emptyDirectory,
                                   ResolveCSVSkipReason::notMediaFile}) {
        if (text(r) == value)
            return r;
    }
    return std::nullopt;
}

} // namespace tarnwick
