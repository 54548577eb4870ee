#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace tarnwick {

class FileOperations;

// Whether a location lies in a protected folder: the one rule behind the protected flags of the
// media list and the refusals of every clean-up action. A location is protected when its lexical
// form (standardized, links kept) or its canonical form (the canonical parent folder + its own
// name) equals a folder or lies below one, compared lower-cased without a locale. Each folder
// counts as written and, where it differs, with its links resolved. The name itself is never
// resolved: removing a link removes only the link.
class ProtectedFolderRule {
public:
    ProtectedFolderRule() = default;
    // `resolvedFolders`: more forms of the same folders (their canonical paths), in any order.
    explicit ProtectedFolderRule(const QStringList& folders, const QStringList& resolvedFolders = {});

    bool isEmpty() const { return m_keys.isEmpty(); }
    // `key`: a location already lower-cased (LowerPathCache::lowerKey).
    bool matchesKey(const QString& key) const;

    // The canonical paths of the folders that differ from how they are written (a stat per folder).
    static QStringList resolvedForms(const QStringList& folders, const FileOperations& files);
    // Made absolute against the working folder and standardized; empty for an empty path.
    static QString standardizedLocation(const QString& path);
    // The canonical form of a standardized location whose parent folder resolves to
    // `canonicalParent`; empty when the parent did not resolve.
    static QString canonicalLocation(const QString& standardized, const QString& canonicalParent);

private:
    // Lower-cased folder and folder + "/".
    QList<std::pair<QString, QString>> m_keys;
};

} // namespace tarnwick
