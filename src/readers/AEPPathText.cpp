#include "readers/AEPPathText.h"

#include "platform/Graphemes.h"
#include "platform/StrictTextDecoding.h"
#include "platform/TextKey.h"
#include "readers/AEPParser.h"
#include "readers/JsonEscape.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tarnwick::aep {

std::optional<QString> decodeUtf8(QByteArrayView bytes) {
    return strict::decodeUtf8(bytes);
}

std::optional<QString> decodeUtf16BE(QByteArrayView bytes) {
    return strict::decodeUtf16(bytes, true);
}

void addIfPlausible(const std::optional<QString>& candidate, QSet<QString>& into) {
    if (!candidate || !AEPParser::isPlausibleFootagePath(*candidate))
        return;
    QString path = *candidate;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    into.insert(path);
}

std::optional<QString> jsonUnescaped(QStringView text) {
    if (!text.contains(u'\\'))
        return std::nullopt;
    QString out;
    out.reserve(text.size());
    bool json = false;
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (text[k] != u'\\') {
            out.append(text[k]);
            continue;
        }
        const std::optional<JsonEscape> escape = jsonEscapeAt(text, k, JsonControlEscapes::all);
        if (!escape)
            return std::nullopt;
        out.append(escape->decoded());
        json = json || !escape->control;
        k += escape->length - 1;
    }
    if (!json)
        return std::nullopt;
    return out;
}

void addIfPlausibleQuoted(const std::optional<QString>& candidate, QSet<QString>& into) {
    if (!candidate)
        return;
    if (std::optional<QString> unescaped = jsonUnescaped(*candidate))
        addIfPlausible(unescaped, into);
    else
        addIfPlausible(candidate, into);
}

bool qualifiesAsFootageExtension(QStringView extension) {
    if (extension.isEmpty())
        return false;
    const bool ascii =
        std::all_of(extension.begin(), extension.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii && extension.size() <= 6 && !extension.contains(u'\r')) {
        char16_t lowered[6];
        for (qsizetype k = 0; k < extension.size(); ++k) {
            const char16_t c = extension[k].unicode();
            lowered[k] = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
        }
        return !AEPParser::projectFileExtensions().contains(QString::fromUtf16(lowered, extension.size()));
    }
    const QString lowered = text::lowered(extension.toString());
    const qsizetype characters = characterCount(lowered);
    return characters >= 1 && characters <= 6 && !AEPParser::projectFileExtensions().contains(lowered);
}

QStringView pathExtension(QStringView path) {
    const auto separator = [](QChar c) { return c == u'/' || c == u'\\'; };
    qsizetype end = path.size();
    while (end > 1 && separator(path[end - 1]))
        --end;
    qsizetype start = end;
    while (start > 0 && !separator(path[start - 1]))
        --start;
    const qsizetype dot = path.first(end).lastIndexOf(u'.');
    if (dot <= start || dot == end - 1)
        return {};
    return path.sliced(dot + 1, end - dot - 1);
}

bool breaksEverywhereButCrLf(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x300; });
}

qsizetype characterCount(QStringView text) {
    if (!breaksEverywhereButCrLf(text))
        return graphemes::count(text.toString());
    qsizetype n = text.size();
    for (qsizetype k = 1; k < text.size(); ++k) {
        if (text[k] == u'\n' && text[k - 1] == u'\r')
            --n;
    }
    return n;
}

namespace {

inline bool isPathMark(uchar b) {
    return b == '/' || b == '\\' || b == ':';
}

// A byte after which an 8-bit candidate may start: a control byte, 0 or a double quote.
inline bool startsAfter(uchar b) {
    return b < 0x20 || b == '"';
}

bool isUtf8Mark(const uchar* d, qint64 j) {
    if (d[j] == '/' || d[j] == '\\')
        return j == 0 || startsAfter(d[j - 1]);
    return d[j] == ':' && j >= 1 && (j == 1 || startsAfter(d[j - 2]));
}

bool isUtf16Mark(const uchar* d, qint64 j) {
    return j % 2 == 1 && d[j - 1] == 0 && isPathMark(d[j]);
}

#ifdef __SSE2__
// Lanes of 16 bytes at p where the scalar test holds; p >= 2.
struct MarkLanes {
    __m128i slash = _mm_set1_epi8('/');
    __m128i backslash = _mm_set1_epi8('\\');
    __m128i colon = _mm_set1_epi8(':');
    __m128i quote = _mm_set1_epi8('"');
    __m128i control = _mm_set1_epi8(0x1F);
    __m128i zero = _mm_setzero_si128();

    __m128i after(__m128i v) const {
        return _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, control), v), _mm_cmpeq_epi8(v, quote));
    }
    __m128i utf8(const uchar* d, qint64 p) const {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + p));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + p - 1));
        const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + p - 2));
        const __m128i separator = _mm_or_si128(_mm_cmpeq_epi8(v, slash), _mm_cmpeq_epi8(v, backslash));
        return _mm_or_si128(_mm_and_si128(separator, after(v1)),
                            _mm_and_si128(_mm_cmpeq_epi8(v, colon), after(v2)));
    }
    __m128i utf16(const uchar* d, qint64 p) const {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + p));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + p - 1));
        const __m128i mark = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, slash), _mm_cmpeq_epi8(v, backslash)), _mm_cmpeq_epi8(v, colon));
        return _mm_and_si128(mark, _mm_cmpeq_epi8(v1, zero));
    }
};
#endif

// First position in [from, end) where isMark holds. Marks are rare in project data: 64 bytes are
// tested at a time, then the first hit is found in 16.
template <bool Utf16> qint64 nextMark(const uchar* data, qint64 from, qint64 end) {
    const auto isMark = [data](qint64 j) { return Utf16 ? isUtf16Mark(data, j) : isUtf8Mark(data, j); };
    qint64 p = from;
    for (; p < std::min<qint64>(end, 2); ++p) {
        if (isMark(p))
            return p;
    }
#ifdef __SSE2__
    const MarkLanes lanes;
    const auto hits = [&](qint64 at) { return Utf16 ? lanes.utf16(data, at) : lanes.utf8(data, at); };
    // UTF-16 marks sit at odd offsets only; p keeps its parity in steps of 16.
    const int wanted = !Utf16 ? 0xFFFF : (p % 2 == 0 ? 0xAAAA : 0x5555);
    while (p + 64 <= end) {
        const __m128i any =
            _mm_or_si128(_mm_or_si128(hits(p), hits(p + 16)), _mm_or_si128(hits(p + 32), hits(p + 48)));
        if ((_mm_movemask_epi8(any) & wanted) != 0)
            break;
        p += 64;
    }
    while (p + 16 <= end) {
        const int mask = _mm_movemask_epi8(hits(p)) & wanted;
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    for (; p < end; ++p) {
        if (isMark(p))
            return p;
    }
    return end;
}

} // namespace

qint64 nextUtf8Mark(const uchar* data, qint64 from, qint64 end) {
    return nextMark<false>(data, from, end);
}

qint64 nextUtf16Mark(const uchar* data, qint64 from, qint64 end) {
    return nextMark<true>(data, from, end);
}

} // namespace tarnwick::aep
