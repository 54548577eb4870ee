#include "analysis/ShardedIndex.h"

namespace tarnwick {

const qsizetype* ShardedIndex::find(const QString& key) const {
    const QHash<QString, qsizetype>& index = part(key);
    const auto it = index.constFind(key);
    return it == index.cend() ? nullptr : &*it;
}

qsizetype ShardedIndex::value(const QString& key, qsizetype missing) const {
    const qsizetype* found = find(key);
    return found ? *found : missing;
}

void ShardedIndex::reserve(qsizetype keys) {
    for (QHash<QString, qsizetype>& index : m_parts)
        index.reserve(keys / shardCount + keys / (shardCount * 8) + 1);
}

void ShardedIndex::settle(const std::vector<qsizetype>& recordAt, const ListStretches& stretches) {
    stretches.run([&](int stretch, qsizetype, qsizetype) {
        for (int s = stretch; s < shardCount; s += stretches.count()) {
            for (auto it = m_parts[std::size_t(s)].begin(); it != m_parts[std::size_t(s)].end(); ++it) {
                if (it.value() < 0)
                    it.value() = recordAt[std::size_t(-1 - it.value())];
            }
        }
    });
}

} // namespace tarnwick
