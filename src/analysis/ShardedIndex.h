#pragma once

#include "analysis/ListStretches.h"

#include <QHash>
#include <QString>

#include <array>
#include <vector>

namespace tarnwick {

// Positions of records found by a key text. The keys lie in eight tables chosen by a hash of the key,
// so a long list of keys fills the tables side by side, each on one thread in the keys' order.
class ShardedIndex {
public:
    static constexpr int shardCount = 8;
    static int shardOf(const QString& key) { return int(qHash(key, 0) % shardCount); }

    QHash<QString, qsizetype>& part(const QString& key) { return m_parts[std::size_t(shardOf(key))]; }
    const QHash<QString, qsizetype>& part(const QString& key) const {
        return m_parts[std::size_t(shardOf(key))];
    }
    const qsizetype* find(const QString& key) const;
    qsizetype value(const QString& key, qsizetype missing = -1) const;
    void reserve(qsizetype keys);

    // Per key of `keyAt(0 … count-1)`, in order: the position it already has (>= 0), or -1 - the
    // key's own place when it is the first of its text; `shards[i]` is shardOf(keyAt(i)).
    template <class KeyAt>
    std::vector<qsizetype> indexAll(qsizetype count, const KeyAt& keyAt, const std::vector<quint8>& shards,
                                    const ListStretches& stretches) {
        std::vector<qsizetype> found(static_cast<std::size_t>(count));
        stretches.run([&](int stretch, qsizetype, qsizetype) {
            for (int s = stretch; s < shardCount; s += stretches.count()) {
                QHash<QString, qsizetype>& index = m_parts[std::size_t(s)];
                index.reserve(index.size() + count / shardCount * 9 / 8 + 1);
                for (qsizetype i = 0; i < count; ++i) {
                    if (shards[std::size_t(i)] != s)
                        continue;
                    const qsizetype known = index.size();
                    qsizetype& slot = index[keyAt(i)];
                    if (index.size() != known)
                        slot = -1 - i;
                    found[std::size_t(i)] = slot;
                }
            }
        });
        return found;
    }
    // The same, each key's part worked out here.
    template <class KeyAt>
    std::vector<qsizetype> indexAll(qsizetype count, const KeyAt& keyAt, const ListStretches& stretches) {
        std::vector<quint8> shards(static_cast<std::size_t>(count));
        stretches.run([&](int, qsizetype from, qsizetype to) {
            for (qsizetype i = from; i < to; ++i)
                shards[std::size_t(i)] = quint8(shardOf(keyAt(i)));
        });
        return indexAll(count, keyAt, shards, stretches);
    }
    // The keys indexAll() met first take the position given to their place: recordAt[place].
    void settle(const std::vector<qsizetype>& recordAt, const ListStretches& stretches);

private:
    std::array<QHash<QString, qsizetype>, shardCount> m_parts;
};

} // namespace tarnwick
