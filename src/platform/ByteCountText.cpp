#include "platform/ByteCountText.h"

#include <array>
#include <cstdint>

namespace tarnwick {

// The desktop's file style, as its formatter behaves with default settings:
// - decimal units (1 KB = 1000 bytes); 0 reads "Zero KB"; ±1 reads "1 byte"; below 1000 "N bytes";
// - fraction digits: none for KB, at most 1 for MB, at most 2 for GB and above; trailing zeros
//   dropped ("1 GB", "1.5 GB", "1.23 GB");
// - rounding half to even, done on the exact integer count so 1,250,000 bytes reads "1.2 MB";
// - the unit is the smallest whose rounded value stays below 1000, so 999,999 bytes reads "1 MB"
//   and never "1,000 KB";
// - English digits with "," grouping and "." decimal point whatever the process locale.
namespace {

QString grouped(uint64_t value) {
    QString digits = QString::number(value);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return digits;
}

uint64_t powerOfTen(int n) {
    uint64_t p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

// magnitude / 10^shift rounded half to even.
uint64_t roundedQuotient(uint64_t magnitude, int shift) {
    const uint64_t divisor = powerOfTen(shift);
    const uint64_t q = magnitude / divisor;
    const uint64_t r = magnitude % divisor;
    const uint64_t half = divisor / 2;
    if (r > half || (r == half && divisor > 1 && (q % 2) == 1))
        return q + 1;
    return q;
}

} // namespace

QString formatFileByteCount(qint64 bytes) {
    if (bytes == 0)
        return QStringLiteral("Zero KB");
    const bool negative = bytes < 0;
    // Magnitude without overflow for the most negative count.
    const uint64_t magnitude =
        negative ? uint64_t(0) - static_cast<uint64_t>(bytes) : static_cast<uint64_t>(bytes);
    const QString sign = negative ? QStringLiteral("-") : QString();
    if (magnitude == 1)
        return sign + QStringLiteral("1 byte");
    if (magnitude < 1000)
        return sign + QString::number(magnitude) + QStringLiteral(" bytes");

    static constexpr std::array<const char*, 6> units{"KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0; // power of 1000 minus one
    int decimals = 0;
    uint64_t scaled = 0;
    for (;; ++unit) {
        decimals = unit == 0 ? 0 : (unit == 1 ? 1 : 2);
        scaled = roundedQuotient(magnitude, 3 * (unit + 1) - decimals);
        if (unit == int(units.size()) - 1 || scaled < 1000 * powerOfTen(decimals))
            break;
    }

    const uint64_t fractionScale = powerOfTen(decimals);
    const uint64_t whole = scaled / fractionScale;
    uint64_t fraction = scaled % fractionScale;
    int fractionDigits = decimals;
    while (fractionDigits > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --fractionDigits;
    }
    QString number = grouped(whole);
    if (fractionDigits > 0)
        number +=
            QLatin1Char('.') + QString::number(fraction).rightJustified(fractionDigits, QLatin1Char('0'));
    return sign + number + QLatin1Char(' ') + QLatin1String(units[size_t(unit)]);
}

} // namespace tarnwick
