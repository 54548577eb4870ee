#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>

// Text comparison by Unicode canonical equivalence: compare and hash the NFC form (ASCII fast path),
// while the original text is kept for file access.
namespace tarnwick::text {

QString nfc(const QString& s);
bool canonicalEquals(const QString& a, const QString& b);
bool canonicalEquals(const QStringList& a, const QStringList& b);
size_t canonicalHash(const QString& s, size_t seed = 0);

// Plain text order: Unicode scalar order of the NFC texts (upper-case before lower-case). <0, 0, >0.
int compareScalars(const QString& a, const QString& b);
// Localized, case-insensitive order (QCollator for the current locale). <0, 0, >0.
int localizedCaseInsensitiveCompare(const QString& a, const QString& b);

// Locale-independent lower-casing (full Unicode case mapping, never Turkish-style i rules).
QString lowered(const QString& s);

} // namespace tarnwick::text
