#pragma once

#include "model/ProjectFile.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

namespace tarnwick {

// The names of timeline clips that a project could not match to a media file. Such a clip may use
// any file of its name, whichever project lists it: those files need review everywhere.
class UnresolvedClipNames {
public:
    explicit UnresolvedClipNames(const QList<ProjectFile>& projects);

    bool isEmpty() const { return m_projectsByName.isEmpty(); }
    // The file a lower-cased path names is named like an unmatched clip: its whole file name, or, for
    // a clip named without an extension, its name without the extension (ignoring case).
    bool namesFile(const QString& lowerPath) const;
    // Why some files `project` lists need review though the project itself read cleanly; empty when
    // no unmatched clip of another project names any of them.
    QString reviewNote(const ProjectFile& project) const;

private:
    struct Source {
        QUuid project;
        QString projectName;
    };
    // The projects whose unmatched clips carry the file name of the path.
    const QList<Source>* projectsNaming(const QString& lowerPath) const;

    QHash<QString, QList<Source>> m_projectsByName; // lower-cased name (NFC) -> projects
};

} // namespace tarnwick
