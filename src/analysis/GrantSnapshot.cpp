#include "analysis/GrantSnapshot.h"

#include "platform/PathText.h"
#include "stores/SecurityScopedAccess.h"

namespace tarnwick::grants {

QStringList snapshotRoots(const SecurityScopedAccess& store) {
    return store.sandboxed() ? store.sessionPaths() : store.bookmarkedPaths();
}

std::optional<QString> grantedRoot(const QStringList& roots, const QString& path) {
    if (roots.isEmpty())
        return std::nullopt;
    const QString standardized = path::standardizingPath(path);
    std::optional<QString> best;
    for (const QString& root : roots) {
        const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
        const bool covers = standardized.compare(root, Qt::CaseInsensitive) == 0 ||
                            standardized.startsWith(prefix, Qt::CaseInsensitive);
        if (covers && (!best || root.size() > best->size()))
            best = root;
    }
    return best;
}

} // namespace tarnwick::grants
