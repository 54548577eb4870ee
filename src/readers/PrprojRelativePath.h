#pragma once

#include "model/ProjectSequence.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace tarnwick::prproj {

// A stored relative path resolved as a file URL beside the project file, dot segments removed.
// Backslashes are kept: they are ordinary characters in a file URL's path.
QString resolveRelativePath(const QString& relative, const QString& projectFilePath);

// Media path -> resolved relative path, for the paths where the two differ.
QHash<QString, QString> relativeCandidates(const QHash<QString, QString>& relativePathsByPath,
                                           const QString& projectFilePath);

// Display names of the timelines, localized case-insensitive order, stable.
QStringList sequenceDisplayNamesSorted(const QList<ProjectSequence>& sequences);

} // namespace tarnwick::prproj
