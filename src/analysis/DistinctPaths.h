#pragma once

#include "analysis/ShardedIndex.h"

#include <QString>
#include <QStringList>

namespace tarnwick {

// The distinct texts of a long list of paths, indexed side by side (ShardedIndex): a CSV can name a
// million clips, and one table fills on one thread.
class DistinctPaths {
public:
    DistinctPaths() = default;
    // The paths of `paths`; `inOrder`, when given, gets each distinct path once, where it first occurs.
    explicit DistinctPaths(const QStringList& paths, QStringList* inOrder = nullptr);

    bool contains(const QString& path) const { return m_index.find(path) != nullptr; }
    qsizetype size() const { return m_size; }

private:
    ShardedIndex m_index; // each text at the position where it first occurs
    qsizetype m_size = 0;
};

} // namespace tarnwick
