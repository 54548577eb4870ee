#include "readers/AEPPathText.h"

#include "platform/Graphemes.h"
#include "platform/TextKey.h"
#include "readers/AEPParser.h"

#include <QStringDecoder>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tarnwick::aep {

std::optional<QString> decodeUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QString> decodeUtf16BE(QByteArrayView bytes) {
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    const auto* d = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype k = 0; k < units; ++k)
        out[k] = static_cast<char16_t>((d[2 * k] << 8) | d[2 * k + 1]);
    for (qsizetype k = 0; k < units; ++k) {
        if (QChar::isHighSurrogate(out[k])) {
            if (k + 1 >= units || !QChar::isLowSurrogate(out[k + 1]))
                return std::nullopt;
            ++k;
        } else if (QChar::isLowSurrogate(out[k])) {
            return std::nullopt;
        }
    }
    return text;
}

void addIfPlausible(const std::optional<QString>& candidate, QSet<QString>& into) {
    if (!candidate || !AEPParser::isPlausibleFootagePath(*candidate))
        return;
    QString path = *candidate;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    into.insert(path);
}

bool qualifiesAsFootageExtension(const QString& extension) {
    if (extension.isEmpty())
        return false;
    const QString lowered = text::lowered(extension);
    const qsizetype characters = graphemes::count(lowered);
    return characters >= 1 && characters <= 6 && !AEPParser::projectFileExtensions().contains(lowered);
}

namespace {

inline bool isPathMark(uchar b) {
    return b == '/' || b == '\\' || b == ':';
}

} // namespace

qint64 nextPathMark(const uchar* data, qint64 from, qint64 end) {
    qint64 p = from;
#ifdef __SSE2__
    const __m128i slash = _mm_set1_epi8('/');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i colon = _mm_set1_epi8(':');
    while (p + 16 <= end) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, slash), _mm_cmpeq_epi8(v, backslash)),
                                          _mm_cmpeq_epi8(v, colon));
        const int mask = _mm_movemask_epi8(hits);
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    for (; p < end; ++p) {
        if (isPathMark(data[p]))
            return p;
    }
    return end;
}

} // namespace tarnwick::aep
