#include "analysis/DistinctPaths.h"

#include <vector>

namespace tarnwick {

DistinctPaths::DistinctPaths(const QStringList& paths, QStringList* inOrder) {
    const std::vector<qsizetype> found = m_index.indexAll(
        paths.size(), [&](qsizetype i) -> const QString& { return paths[i]; }, ListStretches(paths.size()));
    if (inOrder) {
        inOrder->clear();
        inOrder->reserve(paths.size());
    }
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (found[std::size_t(i)] != -1 - i)
            continue; // met before
        ++m_size;
        if (inOrder)
            inOrder->append(paths[i]);
    }
}

} // namespace tarnwick
