#pragma once

#include "analysis/ProtectedFolderRule.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace tarnwick {

class FileOperations;
class ProjectManager;

// Whether a path lies in a protected folder, by the rule the media list's protected flags follow
// (ProtectedFolderRule), resolving links on the disk as it goes. Used by staging and by every
// removal, move and transcode. Not thread-safe (it caches canonical parents); one instance per
// run and thread.
class ProtectedFolderTest {
public:
    // `files` may be null: then only the forms as written are tested.
    ProtectedFolderTest(QStringList folders, const FileOperations* files);
    // The folders of the manager's protected-folder store as they are now.
    static ProtectedFolderTest forManager(const ProjectManager& manager, const FileOperations* files);

    bool isEmpty() const { return m_folders.isEmpty(); }
    const QStringList& folders() const { return m_folders; }

    bool isInProtectedFolder(const QString& path) const;
    // The text rule alone: `path` equals a folder or begins with it and "/" (ignoring case).
    static bool isLexicallyInFolders(const QString& path, const QStringList& folders);

private:
    QStringList m_folders;
    ProtectedFolderRule m_rule;
    const FileOperations* m_files = nullptr;
    mutable QHash<QString, QString> m_canonicalParents;
};

} // namespace tarnwick
