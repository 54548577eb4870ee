#pragma once

#include <QString>
#include <QStringList>

namespace tarnwick::busyStatus {

// The short line the window shows while an operation runs without an overlay of its own (a
// rescan, a project removal…), and while user requests wait for the running operation to end.
// Empty when there is nothing to show.
QString text(bool busy, const QString& reason, bool overlayShown, const QStringList& waiting);

} // namespace tarnwick::busyStatus
