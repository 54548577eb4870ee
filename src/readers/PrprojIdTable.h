#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <span>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

// Tables keyed by identifiers viewed in a project's text. A project holds tens of thousands of them
// per stage; a node-based map spends most of its time on allocations and on cache misses chasing
// nodes, so these keep their entries in one vector, in insertion order, and find them through an
// open-addressing index of 8-byte slots.
namespace tarnwick::prproj {

using Id = std::string_view; // identifiers stay text, viewed in the project's XML

// Seeded once per process, so a crafted project cannot aim its identifiers at one chain of slots.
inline std::uint64_t idHashSeed() {
    static const std::uint64_t seed = [] {
        std::random_device r;
        return (std::uint64_t(r()) << 32) ^ r();
    }();
    return seed;
}

// Equal bytes, compared inline: what is compared here is short (identifiers, markers), where a call
// into the C library costs more than the comparison itself.
inline bool sameBytes(const char* a, const char* b, std::size_t n) {
    if (n >= 8) {
        std::uint64_t x;
        std::uint64_t y;
        for (std::size_t i = 0; i + 8 <= n; i += 8) {
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (x != y)
                return false;
        }
        std::memcpy(&x, a + n - 8, 8);
        std::memcpy(&y, b + n - 8, 8);
        return x == y;
    }
    if (n >= 4) {
        std::uint32_t x;
        std::uint32_t y;
        std::memcpy(&x, a, 4);
        std::memcpy(&y, b, 4);
        if (x != y)
            return false;
        std::memcpy(&x, a + n - 4, 4);
        std::memcpy(&y, b + n - 4, 4);
        return x == y;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

inline bool sameId(Id a, Id b) {
    return a.size() == b.size() && sameBytes(a.data(), b.data(), a.size());
}

inline std::uint64_t hashId(Id id) {
    std::uint64_t h = idHashSeed() ^ (id.size() * 0x9E3779B97F4A7C15ull);
    const char* p = id.data();
    std::size_t n = id.size();
    while (n >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
        p += 8;
        n -= 8;
    }
    if (n > 0) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, n);
        h = (h ^ w) * 0x94D049BB133111EBull;
    }
    h ^= h >> 29;
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 32);
}

// The editor's object numbers ("1234": decimal, no leading zero) below `cap`: their value, else -1.
inline std::int64_t objectNumber(Id id, std::uint32_t cap) {
    if (id.empty() || id.size() > 9 || (id[0] == '0' && id.size() > 1))
        return -1;
    std::uint32_t v = 0;
    for (char c : id) {
        if (c < '0' || c > '9')
            return -1;
        v = v * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return v < cap ? std::int64_t(v) : -1;
}

// Identifier -> V, in the manner of an unordered map (find, count, operator[], iteration over
// key-value pairs), iterated in insertion order. References to entries stay valid only until the
// next insertion. Equality ignores the order.
template <typename V> class IdMap {
public:
    using value_type = std::pair<Id, V>;
    using iterator = typename std::vector<value_type>::iterator;
    using const_iterator = typename std::vector<value_type>::const_iterator;

    IdMap() = default;
    IdMap(std::initializer_list<value_type> values) {
        for (const value_type& v : values)
            (*this)[v.first] = v.second;
    }

    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    // Room for about n entries. Called before the first insertion, it also widens the range of object
    // numbers looked up directly.
    void reserve(std::size_t n) {
        m_entries.reserve(n);
        if (m_entries.empty())
            m_numberCap =
                static_cast<std::uint32_t>(std::min<std::size_t>(kMaxNumberCap, std::max(kNumberCap, n * 8)));
    }

    iterator begin() { return m_entries.begin(); }
    iterator end() { return m_entries.end(); }
    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }

    iterator find(Id key) {
        const std::size_t at = locate(key);
        return at == kAbsent ? m_entries.end() : m_entries.begin() + static_cast<std::ptrdiff_t>(at);
    }
    const_iterator find(Id key) const {
        const std::size_t at = locate(key);
        return at == kAbsent ? m_entries.end() : m_entries.begin() + static_cast<std::ptrdiff_t>(at);
    }
    std::size_t count(Id key) const { return locate(key) == kAbsent ? 0 : 1; }
    bool contains(Id key) const { return count(key) != 0; }
    // Like the standard maps: a missing key throws rather than reading past the end.
    const V& at(Id key) const {
        const std::size_t at = locate(key);
        if (at == kAbsent)
            throw std::out_of_range("IdMap::at: no such object");
        return m_entries[at].second;
    }

    V& operator[](Id key) { return m_entries[insertKey(key).first].second; }

    // Adds the key with `value` when absent; true when it was added.
    std::pair<iterator, bool> insert(value_type v) {
        const auto [at, added] = insertKey(v.first);
        if (added)
            m_entries[at].second = std::move(v.second);
        return {m_entries.begin() + static_cast<std::ptrdiff_t>(at), added};
    }

    friend bool operator==(const IdMap& a, const IdMap& b) {
        if (a.size() != b.size())
            return false;
        for (const value_type& v : a.m_entries) {
            const auto it = b.find(v.first);
            if (it == b.end() || !(it->second == v.second))
                return false;
        }
        return true;
    }

private:
    static constexpr std::size_t kAbsent = ~std::size_t(0);
    // Object numbers below the cap are found through a table indexed by the number (the editor
    // numbers its objects from 1 up, so the table stays dense): one look-up, near the ones before.
    // The cap is fixed before the first entry, so a number is always looked for in one place, and
    // keeps the table within 32 bytes per entry reserved, whatever numbers a file holds (numbers past
    // it go to the hash slots).
    static constexpr std::size_t kNumberCap = std::size_t(1) << 16;
    static constexpr std::size_t kMaxNumberCap = std::size_t(1) << 26;

    std::size_t locate(Id key) const {
        const std::int64_t number = objectNumber(key, m_numberCap);
        if (number >= 0) {
            const auto n = static_cast<std::size_t>(number);
            return n < m_byNumber.size() && m_byNumber[n] != 0 ? m_byNumber[n] - 1 : kAbsent;
        }
        return locate(key, hashId(key));
    }

    // A slot holds the entry's position + 1 (0: free) in its low half and the high half of the key's
    // hash in its high half, which also places it: growing moves slots without reading a key again.
    std::size_t locate(Id key, std::uint64_t h) const {
        if (m_slots.empty())
            return kAbsent;
        const std::size_t mask = m_slots.size() - 1;
        const auto tag = static_cast<std::uint32_t>(h >> 32);
        for (std::size_t i = tag & mask;; i = (i + 1) & mask) {
            const std::uint64_t s = m_slots[i];
            if (s == 0)
                return kAbsent;
            if (static_cast<std::uint32_t>(s >> 32) == tag) {
                const std::size_t at = static_cast<std::uint32_t>(s) - 1;
                if (sameId(m_entries[at].first, key))
                    return at;
            }
        }
    }

    std::pair<std::size_t, bool> insertKey(Id key) {
        const std::int64_t number = objectNumber(key, m_numberCap);
        if (number >= 0) {
            const auto n = static_cast<std::size_t>(number);
            if (n >= m_byNumber.size())
                m_byNumber.resize(std::min<std::size_t>(std::max(n + 1, m_byNumber.size() * 2), m_numberCap));
            if (m_byNumber[n] != 0)
                return {m_byNumber[n] - 1, false};
            m_entries.emplace_back(key, V());
            m_byNumber[n] = static_cast<std::uint32_t>(m_entries.size());
            return {m_entries.size() - 1, true};
        }
        const std::uint64_t h = hashId(key);
        const std::size_t found = locate(key, h);
        if (found != kAbsent)
            return {found, false};
        if ((m_hashed + 1) * 2 > m_slots.size())
            rebuild(std::max<std::size_t>(m_slots.size() * 2, 16));
        m_entries.emplace_back(key, V());
        ++m_hashed;
        place((h >> 32 << 32) | static_cast<std::uint32_t>(m_entries.size()));
        return {m_entries.size() - 1, true};
    }

    void place(std::uint64_t slot) {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i = static_cast<std::size_t>(slot >> 32) & mask;
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }

    void rebuild(std::size_t atLeast) {
        std::size_t capacity = 16;
        while (capacity < atLeast)
            capacity *= 2;
        std::vector<std::uint64_t> old(capacity, 0);
        old.swap(m_slots);
        for (std::uint64_t slot : old) {
            if (slot != 0)
                place(slot);
        }
    }

    std::vector<value_type> m_entries;
    std::vector<std::uint64_t> m_slots;    // a power of two, at most half full
    std::size_t m_hashed = 0;              // entries found through m_slots
    std::vector<std::uint32_t> m_byNumber; // object number -> position + 1 (0: none)
    std::uint32_t m_numberCap = kNumberCap;
};

// A set of identifiers with the same index, in insertion order.
class IdSet {
public:
    IdSet() = default;
    IdSet(std::initializer_list<Id> ids) {
        for (Id id : ids)
            insert(id);
    }

    // True when the identifier was not there yet.
    bool insert(Id id) { return m_map.insert({id, Empty{}}).second; }
    std::size_t count(Id id) const { return m_map.count(id); }
    bool contains(Id id) const { return m_map.contains(id); }
    std::size_t size() const { return m_map.size(); }
    bool empty() const { return m_map.empty(); }
    void reserve(std::size_t n) { m_map.reserve(n); }

    class const_iterator {
    public:
        explicit const_iterator(typename IdMap<char>::const_iterator it) : m_it(it) {}
        Id operator*() const { return m_it->first; }
        const_iterator& operator++() {
            ++m_it;
            return *this;
        }
        bool operator==(const const_iterator& o) const { return m_it == o.m_it; }

    private:
        typename IdMap<char>::const_iterator m_it;
    };
    const_iterator begin() const { return const_iterator(m_map.begin()); }
    const_iterator end() const { return const_iterator(m_map.end()); }

    friend bool operator==(const IdSet& a, const IdSet& b) { return a.m_map == b.m_map; }

private:
    using Empty = char;
    IdMap<Empty> m_map;
};

// Identifier -> identifiers, each list in the order added. Pairs are collected as they are read and
// grouped once, by sealed(), into one run per key: no list of its own per key.
class IdLists {
public:
    void add(Id key, Id value) {
        const auto [it, added] = m_keys.insert({key, static_cast<std::uint32_t>(m_keys.size())});
        m_pairs.emplace_back(it->second, value);
    }

    void reserve(std::size_t keys, std::size_t values) {
        m_keys.reserve(keys);
        m_pairs.reserve(values);
    }

    // Groups what was added; call once, before the look-ups below.
    void seal() {
        m_offsets.assign(m_keys.size() + 1, 0);
        for (const auto& [key, value] : m_pairs)
            ++m_offsets[key + 1];
        for (std::size_t k = 1; k < m_offsets.size(); ++k)
            m_offsets[k] += m_offsets[k - 1];
        m_values.resize(m_pairs.size());
        std::vector<std::size_t> next(m_offsets.begin(), m_offsets.end() - 1);
        for (const auto& [key, value] : m_pairs)
            m_values[next[key]++] = value;
        std::vector<std::pair<std::uint32_t, Id>>().swap(m_pairs);
    }

    std::size_t keyCount() const { return m_keys.size(); }
    Id key(std::size_t k) const { return (m_keys.begin() + static_cast<std::ptrdiff_t>(k))->first; }
    std::span<const Id> values(std::size_t k) const {
        return {m_values.data() + m_offsets[k], m_offsets[k + 1] - m_offsets[k]};
    }
    // Empty when the key has none.
    std::span<const Id> find(Id key) const {
        const auto it = m_keys.find(key);
        return it == m_keys.end() ? std::span<const Id>() : values(it->second);
    }

private:
    IdMap<std::uint32_t> m_keys; // key -> its number, in order of first appearance
    std::vector<std::pair<std::uint32_t, Id>> m_pairs;
    std::vector<std::size_t> m_offsets;
    std::vector<Id> m_values;
};

} // namespace tarnwick::prproj
