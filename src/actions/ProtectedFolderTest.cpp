#include "actions/ProtectedFolderTest.h"

#include "analysis/LowerPathCache.h"
#include "analysis/ProjectManager.h"
#include "platform/FileOperations.h"
#include "platform/PathText.h"
#include "stores/ProtectedFolders.h"

namespace tarnwick {

ProtectedFolderTest::ProtectedFolderTest(QStringList folders, const FileOperations* files)
    : m_folders(std::move(folders)),
      m_rule(m_folders, files ? ProtectedFolderRule::resolvedForms(m_folders, *files) : QStringList()),
      m_files(files) {}

ProtectedFolderTest ProtectedFolderTest::forManager(const ProjectManager& manager,
                                                    const FileOperations* files) {
    const ProtectedFolders* store = manager.services().protectedFolders;
    return ProtectedFolderTest(store ? store->folders() : manager.options().protectedFolders, files);
}

bool ProtectedFolderTest::isLexicallyInFolders(const QString& path, const QStringList& folders) {
    return ProtectedFolderTest(folders, nullptr).isInProtectedFolder(path);
}

bool ProtectedFolderTest::isInProtectedFolder(const QString& path) const {
    if (path.isEmpty() || m_rule.isEmpty())
        return false;
    const QString lexical = path::standardizingPath(path);
    if (m_rule.matchesKey(LowerPathCache::lowerKey(lexical)))
        return true;
    if (!m_files)
        return false;
    // A file reached through a link into a protected folder is protected too.
    const QString parent = path::deletingLastPathComponent(lexical);
    auto cached = m_canonicalParents.constFind(parent);
    if (cached == m_canonicalParents.cend())
        cached = m_canonicalParents.insert(parent, m_files->canonicalPath(parent));
    const QString canonical = ProtectedFolderRule::canonicalLocation(lexical, *cached);
    return !canonical.isEmpty() && canonical != lexical &&
           m_rule.matchesKey(LowerPathCache::lowerKey(canonical));
}

} // namespace tarnwick
