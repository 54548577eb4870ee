#pragma once

#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace tarnwick {

// Sorts `rows` by the unsigned key `keyOf(row)` gives, stably: a byte of the key per pass, least
// significant first, and a byte every key shares costs no pass. Applied once per column, the last
// column first, it sorts by several columns. Sorting 400,000 rows by size this way takes five
// passes instead of millions of comparisons; every pass's counts fit the first-level cache.
template <class Key, class KeyOf> void radixSortRows(std::vector<qsizetype>& rows, KeyOf keyOf) {
    constexpr unsigned passes = sizeof(Key);
    const size_t n = rows.size();
    if (n < 2)
        return;
    // Scratch written before it is read: not cleared first.
    auto keys = std::make_unique_for_overwrite<Key[]>(n);
    auto nextKeys = std::make_unique_for_overwrite<Key[]>(n);
    auto nextRows = std::make_unique_for_overwrite<qsizetype[]>(n);
    // Every pass's counts in one read of the keys.
    std::array<std::array<size_t, 256>, passes> counts{};
    for (size_t i = 0; i < n; ++i) {
        const Key key = keyOf(rows[i]);
        keys[i] = key;
        for (unsigned p = 0; p < passes; ++p)
            ++counts[p][(key >> (p * 8)) & 0xff];
    }
    qsizetype* from = rows.data();
    qsizetype* to = nextRows.get();
    Key* fromKeys = keys.get();
    Key* toKeys = nextKeys.get();
    for (unsigned p = 0; p < passes; ++p) {
        std::array<size_t, 256>& start = counts[p];
        if (std::find(start.cbegin(), start.cend(), n) != start.cend())
            continue; // every key has this byte
        size_t sum = 0;
        for (size_t& count : start)
            sum += std::exchange(count, sum);
        const unsigned shift = p * 8;
        for (size_t i = 0; i < n; ++i) {
            const size_t at = start[(fromKeys[i] >> shift) & 0xff]++;
            to[at] = from[i];
            toKeys[at] = fromKeys[i];
        }
        std::swap(from, to);
        std::swap(fromKeys, toKeys);
    }
    if (from != rows.data())
        std::copy(from, from + n, rows.data());
}

// A signed number as an unsigned key in the same order, reversed for a descending sort.
inline quint64 radixKey(qint64 value, bool ascending) {
    const quint64 key = quint64(value) ^ (quint64(1) << 63);
    return ascending ? key : ~key;
}

inline quint32 radixKey(quint32 rank, bool ascending) {
    return ascending ? rank : ~rank;
}

} // namespace tarnwick
