#include "analysis/GrantSnapshot.h"

#include "stores/SecurityScopedAccess.h"

namespace tarnwick::grants {

QStringList snapshotRoots(const SecurityScopedAccess& store) {
    return store.sandboxed() ? store.sessionPaths() : store.bookmarkedPaths();
}

std::optional<QString> grantedRoot(const QStringList& roots, const QString& path) {
    return SecurityScopedAccess::longestCoveringRoot(roots, path);
}

} // namespace tarnwick::grants
