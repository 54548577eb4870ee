#pragma once

#include "analysis/LowerPathCache.h"

#include <QHashFunctions>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <cstdint>
#include <vector>

namespace tarnwick {

// A path as a hash key that compares like its lower-cased NFC form (LowerPathCache::lowerKey)
// without making that form for ASCII text, the common case: hashing 100,000 media paths must not
// allocate 100,000 strings. The hash is made once and compared before the text, so probing a
// large table reads no path text but the one that matches.
struct FoldedPath {
    QString text;
    size_t hash = 0;

    FoldedPath() = default;
    explicit FoldedPath(QString path) : text(std::move(path)), hash(foldedHash(text)) {}

    static bool isAscii(QStringView s) {
        for (const QChar c : s) {
            if (c.unicode() >= 0x80)
                return false;
        }
        return true;
    }
    // Equal when the lower-cased NFC forms are equal.
    static bool sameFolded(QStringView a, QStringView b) {
        if (isAscii(a) && isAscii(b))
            return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
        return LowerPathCache::lowerKey(a.toString()) == LowerPathCache::lowerKey(b.toString());
    }
    // The hash of the lower-cased NFC form, in one pass over ASCII text (lower-cased into a buffer,
    // then Qt's own string hash, which is well mixed and vectorised).
    static size_t foldedHash(QStringView s) {
        QVarLengthArray<char16_t, 256> folded(s.size());
        for (qsizetype i = 0; i < s.size(); ++i) {
            const char16_t u = s[i].unicode();
            if (u >= 0x80)
                return qHash(LowerPathCache::lowerKey(s.toString()), 0);
            folded[i] = (u >= u'A' && u <= u'Z') ? char16_t(u + 32) : u;
        }
        return qHash(QStringView(folded.constData(), folded.size()), 0);
    }

    friend bool operator==(const FoldedPath& a, const FoldedPath& b) {
        return a.hash == b.hash && sameFolded(a.text, b.text);
    }
    friend size_t qHash(const FoldedPath& key, size_t seed = 0) { return key.hash ^ seed; }
};

// A few bits per key, small enough to stay in the first-level cache: most keys asked for are not
// in the table, and this answers them without touching it.
class HashPrefilter {
public:
    explicit HashPrefilter(qsizetype keys) {
        // At least 16 bits per key: about 4-6 % of absent keys pass.
        size_t bits = 1024;
        while (bits < size_t(keys) * 16)
            bits *= 2;
        m_words.assign(bits / 64, 0);
        m_mask = bits - 1;
    }
    void add(size_t hash) {
        const size_t bit = slot(hash);
        m_words[bit / 64] |= std::uint64_t(1) << (bit % 64);
    }
    bool mayContain(size_t hash) const {
        const size_t bit = slot(hash);
        return (m_words[bit / 64] >> (bit % 64)) & 1u;
    }

private:
    size_t slot(size_t hash) const {
        // Fibonacci mixing: the inputs (sizes, hashes) may be poor in their low bits.
        return size_t((std::uint64_t(hash) * 0x9E3779B97F4A7C15ull) >> 32) & m_mask;
    }
    std::vector<std::uint64_t> m_words;
    size_t m_mask = 0;
};

} // namespace tarnwick
