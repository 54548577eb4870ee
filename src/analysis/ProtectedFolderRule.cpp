#include "analysis/ProtectedFolderRule.h"

#include "analysis/LowerPathCache.h"
#include "platform/FileOperations.h"
#include "platform/PathText.h"

#include <QDir>

#include <algorithm>

namespace tarnwick {

ProtectedFolderRule::ProtectedFolderRule(const QStringList& folders, const QStringList& resolvedFolders) {
    const auto add = [&](const QString& folder) {
        if (folder.isEmpty())
            return;
        const QString key = LowerPathCache::lowerKey(folder);
        const QString prefix = key.endsWith(QLatin1Char('/')) ? key : key + QLatin1Char('/');
        if (std::none_of(m_keys.cbegin(), m_keys.cend(), [&](const auto& k) { return k.first == key; }))
            m_keys.append({key, prefix});
    };
    for (const QString& folder : folders)
        add(folder);
    for (const QString& folder : resolvedFolders)
        add(folder);
}

bool ProtectedFolderRule::matchesKey(const QString& key) const {
    if (key.isEmpty())
        return false;
    return std::any_of(m_keys.cbegin(), m_keys.cend(), [&](const std::pair<QString, QString>& folder) {
        return key == folder.first || key.startsWith(folder.second);
    });
}

QStringList ProtectedFolderRule::resolvedForms(const QStringList& folders, const FileOperations& files) {
    QStringList resolved;
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        const QString canonical = files.canonicalPath(folder);
        if (!canonical.isEmpty() && canonical != path::standardizingPath(folder))
            resolved.append(canonical);
    }
    return resolved;
}

QString ProtectedFolderRule::standardizedLocation(const QString& path) {
    if (path.isEmpty())
        return {};
    const QString absolute =
        path.startsWith(QLatin1Char('/')) ? path : QDir::currentPath() + QLatin1Char('/') + path;
    return path::standardizingPath(absolute);
}

QString ProtectedFolderRule::canonicalLocation(const QString& standardized, const QString& canonicalParent) {
    if (canonicalParent.isEmpty())
        return {};
    return path::appendingPathComponent(canonicalParent, path::lastPathComponent(standardized));
}

} // namespace tarnwick
