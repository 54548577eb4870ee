#pragma once

#include "model/MediaFile.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace tarnwick {

class LowerPathCache;

// The folders of the Character Animator projects a timeline uses. Character Animator keeps a
// scene's data (puppet artwork, recorded takes) in the folder it makes for the project, named as
// the project and holding its .chproj: every listed file in there is needed by that scene, though
// no timeline names it. A .chproj in a folder of another name claims nothing.
class CharacterAnimatorFolders {
public:
    explicit CharacterAnimatorFolders(const QList<MediaFile>& mediaFiles);

    bool isEmpty() const { return m_projectByFolder.isEmpty(); }
    // The path of the used project whose folder holds the file (by its path, matched or alternative
    // path); none for the used project itself or a file outside every such folder.
    std::optional<QString> projectHolding(const MediaFile& file, LowerPathCache& lowerPaths) const;

    static bool isProjectPath(const QString& path);
    // A used project in the folder made for it: the folder's data belongs to the project.
    static bool claimsItsFolder(const MediaFile& file);

private:
    // The project whose folder holds `key` (a path's key; or an ASCII path, lowered here when
    // `lowerAscii`).
    std::optional<QString> projectBelow(QStringView key, bool lowerAscii) const;

    QHash<QString, QString> m_projectByFolder; // lower-cased folder path (NFC) -> the project's path
    QList<qsizetype> m_folderLengths;          // the lengths of those keys, each once
};

} // namespace tarnwick
