#pragma once

#include "model/ImageSequence.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

namespace tarnwick {

// One parsed After Effects project with the footage paths and sequences it references.
struct AEPProject {
    QUrl url;
    QString name;
    QSet<QString> footagePaths;
    QList<ImageSequence> sequences; // footage that is a numbered sequence of stills
};

} // namespace tarnwick
