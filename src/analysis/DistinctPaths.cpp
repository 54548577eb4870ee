#include "analysis/DistinctPaths.h"

#include "analysis/ListStretches.h"

#include <vector>

namespace tarnwick {

int DistinctPaths::tableOf(const QString& path) {
    return int(qHash(path, 0) % tableCount);
}

DistinctPaths::DistinctPaths(const QStringList& paths, QStringList* inOrder) {
    const ListStretches stretches(paths.size());
    std::vector<quint8> tables(std::size_t(paths.size()));
    stretches.run([&](int, qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            tables[std::size_t(i)] = quint8(tableOf(paths[i]));
    });
    // Bytes, not bits: the tables' threads write their flags side by side.
    std::vector<char> first(std::size_t(paths.size()), 0);
    stretches.run([&](int stretch, qsizetype, qsizetype) {
        for (int t = stretch; t < tableCount; t += stretches.count()) {
            QSet<QString>& table = m_tables[std::size_t(t)];
            table.reserve(paths.size() / tableCount * 9 / 8 + 1);
            for (qsizetype i = 0; i < paths.size(); ++i) {
                if (tables[std::size_t(i)] != t)
                    continue;
                const qsizetype known = table.size();
                table.insert(paths[i]);
                first[std::size_t(i)] = table.size() != known;
            }
        }
    });
    if (!inOrder)
        return;
    inOrder->clear();
    inOrder->reserve(size());
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (first[std::size_t(i)])
            inOrder->append(paths[i]);
    }
}

bool DistinctPaths::contains(const QString& path) const {
    return m_tables[std::size_t(tableOf(path))].contains(path);
}

qsizetype DistinctPaths::size() const {
    qsizetype n = 0;
    for (const QSet<QString>& table : m_tables)
        n += table.size();
    return n;
}

} // namespace tarnwick
