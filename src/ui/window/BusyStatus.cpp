#include "ui/window/BusyStatus.h"

namespace tarnwick::busyStatus {

QString text(bool busy, const QString& reason, bool overlayShown, const QStringList& waiting) {
    if (waiting.isEmpty())
        return busy && !overlayShown ? reason : QString();
    constexpr qsizetype named = 2;
    QString list = waiting.mid(0, named).join(QStringLiteral(", "));
    if (waiting.size() > named)
        list += QStringLiteral(" and %1 more").arg(waiting.size() - named);
    const QString waits = QStringLiteral("Waiting to run: ") + list;
    return busy && !reason.isEmpty() ? reason + QStringLiteral(" — ") + waits : waits;
}

} // namespace tarnwick::busyStatus
