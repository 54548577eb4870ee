#pragma once

#include "stores/StoreFile.h"

#include <QStringList>

namespace tarnwick {

// Folders whose media must never be removed ("protected_folders.json"). Main thread only.
class ProtectedFolders {
public:
    static ProtectedFolders& shared();

    // Loads "protected_folders.json" from `folder` (created when missing).
    explicit ProtectedFolders(const QString& folder);
    ProtectedFolders(const ProtectedFolders&) = delete;
    ProtectedFolders& operator=(const ProtectedFolders&) = delete;

    const QStringList& folders() const { return m_folders; }

    // Stores the path with symbolic links resolved and standardised; the list stays sorted.
    void add(const QString& path);
    // Removes every entry equal to `path` as stored.
    void remove(const QString& path);

    const QString& fileName() const { return m_file.path(); }
    // The file existed but could not be read or decoded, so protections may be missing: the
    // window warns. It was kept beside the new file (movedAsidePath()) at the first change.
    bool fileWasDamaged() const { return m_file.wasDamaged(); }
    const QString& movedAsidePath() const { return m_file.movedAsidePath(); }

private:
    void save();

    StoreFile m_file;
    QStringList m_folders;
};

} // namespace tarnwick
