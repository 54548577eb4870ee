#include "platform/TextKey.h"

#include <QCollator>
#include <QHash>
#include <QLocale>

#include <optional>

#include <algorithm>

namespace tarnwick {

namespace {

// Latin-1 text holds no combining marks and no decomposable-under-NFC characters: it is its own NFC.
bool isNfcByConstruction(QStringView s) {
    return QtPrivate::isLatin1(s);
}

// Next Unicode scalar of s at i; a lone surrogate stands for itself.
char32_t scalarAt(QStringView s, qsizetype& i) {
    const char16_t c = s[i].unicode();
    ++i;
    if (QChar::isHighSurrogate(c) && i < s.size() && QChar::isLowSurrogate(s[i].unicode())) {
        const char16_t low = s[i].unicode();
        ++i;
        return QChar::surrogateToUcs4(c, low);
    }
    return c;
}

} // namespace

QString text::nfc(const QString& s) {
    if (isNfcByConstruction(s))
        return s;
    return s.normalized(QString::NormalizationForm_C);
}

bool text::canonicalEquals(const QString& a, const QString& b) {
    if (a == b)
        return true;
    if (isNfcByConstruction(a) && isNfcByConstruction(b))
        return false;
    return nfc(a) == nfc(b);
}

bool text::canonicalEquals(const QStringList& a, const QStringList& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!canonicalEquals(a[i], b[i]))
            return false;
    }
    return true;
}

size_t text::canonicalHash(const QString& s, size_t seed) {
    if (isNfcByConstruction(s))
        return ::qHash(s, seed);
    return ::qHash(s.normalized(QString::NormalizationForm_C), seed);
}

int text::compareScalars(const QString& a, const QString& b) {
    const QString na = nfc(a);
    const QString nb = nfc(b);
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < na.size() && j < nb.size()) {
        const char32_t ca = scalarAt(na, i);
        const char32_t cb = scalarAt(nb, j);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i < na.size())
        return 1;
    if (j < nb.size())
        return -1;
    return 0;
}

int text::localizedCaseInsensitiveCompare(const QString& a, const QString& b) {
    // QCollator is not safe to share between threads; one per thread, rebuilt when the locale changes.
    thread_local std::optional<QCollator> collator;
    thread_local QLocale collatorLocale;
    const QLocale locale;
    if (!collator || collatorLocale != locale) {
        collator.emplace(locale);
        collator->setCaseSensitivity(Qt::CaseInsensitive);
        collatorLocale = locale;
    }
    const int r = collator->compare(nfc(a), nfc(b));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool text::equalLowered(const QString& a, const QString& b) {
    const auto ascii = [](const QString& s) {
        return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x80; });
    };
    if (ascii(a) && ascii(b))
        return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
    return lowered(a) == lowered(b);
}

QString text::lowered(const QString& s) {
    // QString::toLower applies the Unicode default case mapping and never consults the locale.
    return s.toLower();
}

} // namespace tarnwick
