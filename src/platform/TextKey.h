#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>

namespace tarnwick {

// Text comparison by Unicode canonical equivalence: compare and hash the NFC form (ASCII fast path),
// while the original text is kept for file access.
//
// A struct of static functions rather than a namespace: the enumerations' `text(value)` functions
// live in namespace tarnwick too, and a function may share its name with a class but not with a
// namespace. Call sites read the same: text::nfc(s), text::lowered(s).
struct text {
    text() = delete;

    static QString nfc(const QString& s);
    static bool canonicalEquals(const QString& a, const QString& b);
    static bool canonicalEquals(const QStringList& a, const QStringList& b);
    static size_t canonicalHash(const QString& s, size_t seed = 0);

    // Plain text order: Unicode scalar order of the NFC texts (upper-case before lower-case). <0, 0, >0.
    static int compareScalars(const QString& a, const QString& b);
    // Localized, case-insensitive order (QCollator for the current locale). <0, 0, >0.
    static int localizedCaseInsensitiveCompare(const QString& a, const QString& b);

    // Locale-independent lower-casing (full Unicode case mapping, never Turkish-style i rules).
    static QString lowered(const QString& s);
    // lowered(a) == lowered(b), without making either for ASCII text.
    static bool equalLowered(const QString& a, const QString& b);
};

} // namespace tarnwick
