#pragma once

#include "model/ProjectSequence.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace tarnwick::prproj {

// A stored relative path resolved beside the project file, backslashes read as separators and dot
// segments removed.
QString resolveRelativePath(const QString& relative, const QString& projectFilePath);

// Media path -> resolved relative path, for the paths where the two differ.
QHash<QString, QString> relativeCandidates(const QHash<QString, QString>& relativePathsByPath,
                                           const QString& projectFilePath);

// Display names of the timelines, localized case-insensitive order, stable.
QStringList sequenceDisplayNamesSorted(const QList<ProjectSequence>& sequences);

} // namespace tarnwick::prproj
