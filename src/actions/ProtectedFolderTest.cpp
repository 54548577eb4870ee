#include "actions/ProtectedFolderTest.h"

#include "analysis/LowerPathCache.h"
#include "analysis/ProjectManager.h"
#include "platform/FileOperations.h"
#include "platform/PathText.h"
#include "stores/ProtectedFolders.h"

#include <algorithm>

namespace tarnwick {

ProtectedFolderTest::ProtectedFolderTest(QStringList folders, const FileOperations* files)
    : m_folders(std::move(folders)), m_files(files) {
    m_keys.reserve(m_folders.size());
    for (const QString& folder : std::as_const(m_folders)) {
        if (folder.isEmpty())
            continue;
        const QString key = LowerPathCache::lowerKey(folder);
        m_keys.append({key, key.endsWith(QLatin1Char('/')) ? key : key + QLatin1Char('/')});
    }
}

ProtectedFolderTest ProtectedFolderTest::forManager(const ProjectManager& manager,
                                                    const FileOperations* files) {
    const ProtectedFolders* store = manager.services().protectedFolders;
    return ProtectedFolderTest(store ? store->folders() : manager.protectedFolders(), files);
}

bool ProtectedFolderTest::isLexicallyInFolders(const QString& path, const QStringList& folders) {
    return ProtectedFolderTest(folders, nullptr).isInProtectedFolder(path);
}

bool ProtectedFolderTest::matches(const QString& path) const {
    const QString key = LowerPathCache::lowerKey(path);
    return std::any_of(m_keys.cbegin(), m_keys.cend(), [&](const std::pair<QString, QString>& folder) {
        return key == folder.first || key.startsWith(folder.second);
    });
}

bool ProtectedFolderTest::isInProtectedFolder(const QString& path) const {
    if (path.isEmpty() || m_keys.isEmpty())
        return false;
    const QString lexical = path::standardizingPath(path);
    if (matches(lexical))
        return true;
    if (!m_files)
        return false;
    // The store resolved its folders' links; a file reached through a link into one of them is
    // protected too. The name itself is not resolved: removing a link removes only the link.
    const QString parent = path::deletingLastPathComponent(lexical);
    auto cached = m_canonicalParents.constFind(parent);
    if (cached == m_canonicalParents.cend())
        cached = m_canonicalParents.insert(parent, m_files->canonicalPath(parent));
    if (cached->isEmpty())
        return false;
    const QString canonical = path::appendingPathComponent(*cached, path::lastPathComponent(lexical));
    return canonical != lexical && matches(canonical);
}

} // namespace tarnwick
