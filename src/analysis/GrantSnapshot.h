#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick {

class SecurityScopedAccess;

// The grant store's roots copied for a scan, so status checks on worker threads never touch the store.
namespace grants {

// Session roots when the store is sandboxed, bookmarked roots otherwise (what grantedRoot() looks at).
QStringList snapshotRoots(const SecurityScopedAccess& store);

// The longest root covering `path` (equal, or a prefix followed by "/"), letter case ignored.
std::optional<QString> grantedRoot(const QStringList& roots, const QString& path);

} // namespace grants
} // namespace tarnwick
