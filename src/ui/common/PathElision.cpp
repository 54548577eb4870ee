#include "ui/common/PathElision.h"

#include <QFontMetricsF>

namespace tarnwick {

QString elidedPath(const QString& path, const QFontMetricsF& metrics, qreal width) {
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), path.endsWith(QLatin1Char('/')) ? -2 : -1);
    if (slash <= 0)
        return metrics.elidedText(path, Qt::ElideMiddle, width);
    const QString tail = path.mid(slash);
    const qreal tailWidth = metrics.horizontalAdvance(tail);
    const QString ellipsis(QChar(0x2026));
    if (tailWidth + metrics.horizontalAdvance(ellipsis) <= width) {
        QString head = metrics.elidedText(path.left(slash), Qt::ElideRight, width - tailWidth);
        if (head.isEmpty())
            head = ellipsis;
        return head + tail;
    }
    return metrics.elidedText(ellipsis + tail, Qt::ElideMiddle, width);
}

} // namespace tarnwick
