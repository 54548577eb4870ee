#pragma once

#include "analysis/LowerPathCache.h"

#include <QHashFunctions>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

namespace tarnwick {

// A path as a hash key that compares like its lower-cased NFC form (LowerPathCache::lowerKey)
// without making that form for ASCII text, the common case: hashing 100,000 media paths must not
// allocate 100,000 strings.
struct FoldedPath {
    QString text;

    static bool isAscii(QStringView s) {
        for (const QChar c : s) {
            if (c.unicode() >= 0x80)
                return false;
        }
        return true;
    }
    friend bool operator==(const FoldedPath& a, const FoldedPath& b) {
        if (isAscii(a.text) && isAscii(b.text))
            return a.text.compare(b.text, Qt::CaseInsensitive) == 0;
        return LowerPathCache::lowerKey(a.text) == LowerPathCache::lowerKey(b.text);
    }
    friend size_t qHash(const FoldedPath& key, size_t seed = 0) {
        if (!isAscii(key.text))
            return qHash(LowerPathCache::lowerKey(key.text), seed);
        // Lower-case ASCII into a buffer and use Qt's own string hash (well mixed, vectorised).
        QVarLengthArray<char16_t, 256> folded(key.text.size());
        for (qsizetype i = 0; i < key.text.size(); ++i) {
            const char16_t u = key.text[i].unicode();
            folded[i] = (u >= u'A' && u <= u'Z') ? char16_t(u + 32) : u;
        }
        return qHash(QStringView(folded.constData(), folded.size()), seed);
    }
};

} // namespace tarnwick
