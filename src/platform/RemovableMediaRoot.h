#pragma once

#include <QString>
#include <QStringList>

namespace tarnwick {

// Where removable and network drives are mounted for this user: the first existing of
// /media/$USER, /run/media/$USER and /mnt, else the home folder. Decided once per process.
QString removableMediaRoot();

// The same choice over given candidates (tests); `exists` answers for each folder.
QString firstExistingFolder(const QStringList& candidates, const QString& fallback);

} // namespace tarnwick
