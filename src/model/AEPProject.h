#pragma once

#include <QSet>
#include <QString>
#include <QUrl>

namespace tarnwick {

// One parsed After Effects project with the footage paths it references.
struct AEPProject {
    QUrl url;
    QString name;
    QSet<QString> footagePaths;
};

} // namespace tarnwick
