#include "readers/ResolveCSVRow.h"

namespace tarnwick {

QString ResolveCSVRow::fullPath() const {
    qsizetype end = clipDirectory.size();
    while (end > 0 && clipDirectory[end - 1] == u'/')
        --end;
    // "/" alone would otherwise become a bare name, resolved against the working directory.
    if (end == 0)
        return QLatin1Char('/') + fileName;
    return QStringView(clipDirectory).first(end) + QLatin1Char('/') + fileName;
}

} // namespace tarnwick
