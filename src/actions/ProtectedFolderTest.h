#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace tarnwick {

class FileOperations;
class ProjectManager;

// Whether a path lies in a protected folder. The store keeps its folders with symbolic links
// resolved, so a path is protected when its lexical form (standardized, links kept) or its
// canonical form (canonical parent folder + name) is a protected folder or lies below one,
// compared ignoring case. Used by staging and by every removal, move and transcode.
// Not thread-safe (it caches canonical parents); one instance per run and thread.
class ProtectedFolderTest {
public:
    // `files` may be null: then only the lexical form is tested.
    ProtectedFolderTest(QStringList folders, const FileOperations* files);
    // The folders of the manager's protected-folder store as they are now.
    static ProtectedFolderTest forManager(const ProjectManager& manager, const FileOperations* files);

    bool isEmpty() const { return m_folders.isEmpty(); }
    const QStringList& folders() const { return m_folders; }

    bool isInProtectedFolder(const QString& path) const;
    // The text rule alone: `path` equals a folder or begins with it and "/" (ignoring case).
    static bool isLexicallyInFolders(const QString& path, const QStringList& folders);

private:
    bool matches(const QString& path) const;

    QStringList m_folders;
    // Lower-cased folder and folder + "/".
    QList<std::pair<QString, QString>> m_keys;
    const FileOperations* m_files = nullptr;
    mutable QHash<QString, QString> m_canonicalParents;
};

} // namespace tarnwick
