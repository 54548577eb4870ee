#include "readers/AEPPathRun.h"

#include "readers/AEPParser.h"
#include "readers/AEPPathText.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace tarnwick {

namespace {

inline char16_t bigEndianUnit(const uchar* bytes, qsizetype k) {
    return static_cast<char16_t>((bytes[2 * k] << 8) | bytes[2 * k + 1]);
}

inline bool isSeparator(char16_t u) {
    return u == u'/' || u == u'\\';
}

inline bool isContinuation(uchar b) {
    return (b & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at d[0], or 0: no overlongs, surrogates or values past
// U+10FFFF, as the strict decoder judges them.
int sequenceLength(const uchar* d, qsizetype available) {
    const uchar b = d[0];
    int length = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (available < length || d[1] < low || d[1] > high)
        return 0;
    for (int k = 2; k < length; ++k) {
        if (!isContinuation(d[k]))
            return 0;
    }
    return length;
}

} // namespace

void AEPPathRun::assignUtf16BE(QByteArrayView bytes) {
    const auto* d = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype units = bytes.size() / 2;
    // Checked first, on the raw units: most runs in binary data end here.
    m_viable = findExtension(units, [d](qsizetype k) { return bigEndianUnit(d, k); });
    if (!m_viable)
        return;
    decodeUtf16BE(d, units);
    countPrintable();
    findBoundaries();
}

void AEPPathRun::assignUtf8(QByteArrayView bytes) {
    decodeUtf8(reinterpret_cast<const uchar*>(bytes.data()), bytes.size());
    m_viable = findExtension(m_text.size(), [this](qsizetype k) { return m_text[k].unicode(); });
    if (!m_viable)
        return;
    countPrintable();
    findBoundaries();
}

// The extension is the same for every tail that holds the last component whole; a tail starting
// inside that component (at a drive letter) shares it when the dot lies after the tail's start.
template <typename UnitAt> bool AEPPathRun::findExtension(qsizetype units, UnitAt unitAt) {
    qsizetype end = units;
    while (end > 0 && isSeparator(unitAt(end - 1)))
        --end;
    m_extensionDot = -1;
    qsizetype k = end;
    while (k > 0 && !isSeparator(unitAt(k - 1))) {
        if (m_extensionDot < 0 && unitAt(k - 1) == u'.')
            m_extensionDot = k - 1;
        --k;
    }
    m_componentStart = k;
    if (m_extensionDot < 0 || m_extensionDot == m_componentStart || m_extensionDot == end - 1)
        return false;
    QString extension(end - m_extensionDot - 1, Qt::Uninitialized);
    for (qsizetype j = 0; j < extension.size(); ++j)
        extension[j] = QChar(unitAt(m_extensionDot + 1 + j));
    return aep::qualifiesAsFootageExtension(extension);
}

void AEPPathRun::decodeUtf16BE(const uchar* d, qsizetype units) {
    m_text.resize(units);
    m_normalized.resize(units);
    char16_t* out = reinterpret_cast<char16_t*>(m_text.data());
    char16_t* normalized = reinterpret_cast<char16_t*>(m_normalized.data());
    m_lastUndecodable = -1;
    for (qsizetype k = 0; k < units; ++k) {
        out[k] = bigEndianUnit(d, k);
        normalized[k] = out[k] == u'\\' ? u'/' : out[k];
    }
    for (qsizetype k = 0; k < units; ++k) {
        if (QChar::isHighSurrogate(out[k]) && k + 1 < units && QChar::isLowSurrogate(out[k + 1]))
            ++k;
        else if (QChar::isSurrogate(out[k]))
            m_lastUndecodable = k;
    }
}

// Lenient decoding that remembers where it had to replace bytes: a tail after the last such place
// decodes strictly to the same units, since a tail always starts at an ASCII byte.
void AEPPathRun::decodeUtf8(const uchar* d, qsizetype count) {
    m_text.resize(count); // never more units than bytes
    m_unitOfByte.assign(static_cast<size_t>(count) + 1, 0);
    char16_t* out = reinterpret_cast<char16_t*>(m_text.data());
    m_lastUndecodable = -1;
    qsizetype units = 0;
    qsizetype k = 0;
    while (k < count) {
        m_unitOfByte[static_cast<size_t>(k)] = static_cast<qint32>(units);
        if (d[k] < 0x80) {
            out[units++] = d[k++];
            continue;
        }
        const int length = sequenceLength(d + k, count - k);
        if (length == 0) {
            m_lastUndecodable = units;
            out[units++] = QChar::ReplacementCharacter;
            ++k;
            continue;
        }
        char32_t scalar = d[k] & (0x7F >> length);
        for (int j = 1; j < length; ++j)
            scalar = (scalar << 6) | (d[k + j] & 0x3F);
        if (QChar::requiresSurrogates(scalar)) {
            out[units++] = QChar::highSurrogate(scalar);
            out[units++] = QChar::lowSurrogate(scalar);
        } else {
            out[units++] = static_cast<char16_t>(scalar);
        }
        k += length;
    }
    m_text.resize(units);
    m_normalized = m_text;
    m_normalized.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

void AEPPathRun::countPrintable() {
    const qsizetype units = m_text.size();
    const char16_t* text = reinterpret_cast<const char16_t*>(m_text.constData());
    m_printable.assign(static_cast<size_t>(units) + 1, 0);
    for (qsizetype k = 0; k < units; ++k) {
        if (QChar::isHighSurrogate(text[k]) && k + 1 < units && QChar::isLowSurrogate(text[k + 1])) {
            // Supplementary scalars are all printable; counted at the first unit of the pair.
            m_printable[k + 1] = m_printable[k] + 1;
            m_printable[k + 2] = m_printable[k + 1];
            ++k;
            continue;
        }
        m_printable[k + 1] = m_printable[k] + (aep::isPrintableScalar(text[k]) ? 1 : 0);
    }
}

namespace {

// Blocks whose characters the platform clusters by the generic rules only, whatever precedes them.
bool clustersGenerically(char32_t c) {
    return c < 0x0300 || (c >= 0x0300 && c <= 0x036F) || (c >= 0x0370 && c <= 0x052F) ||
           (c >= 0x1100 && c <= 0x11FF) || (c >= 0x1E00 && c <= 0x1FFF) || (c >= 0x2000 && c <= 0x206F) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0x3000 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0x1F000 && c <= 0x1FAFF);
}

bool segmentsGenerically(const QString& text) {
    for (qsizetype k = 0; k < text.size(); ++k) {
        char32_t c = text[k].unicode();
        if (QChar::isHighSurrogate(c) && k + 1 < text.size() && text[k + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[k], text[k + 1]);
            ++k;
        } else if (QChar::isSurrogate(c)) {
            continue; // an undecodable unit: no tail reaches over it
        }
        if (!clustersGenerically(c))
            return false;
    }
    return true;
}

} // namespace

void AEPPathRun::findBoundaries() {
    const qsizetype units = m_text.size();
    m_simple = aep::breaksEverywhereButCrLf(m_text);
    m_segmentable = !m_simple && segmentsGenerically(m_text);
    if (!m_simple && !m_segmentable)
        return;
    if (m_simple) {
        m_isBoundary.assign(static_cast<size_t>(units) + 1, 1);
        for (qsizetype k = 1; k < units; ++k)
            m_isBoundary[k] = !(m_text[k - 1] == u'\r' && m_text[k] == u'\n');
    } else {
        // One segmentation of the whole run, not one per tail: linear however many tails it has.
        m_isBoundary.assign(static_cast<size_t>(units) + 1, 0);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_text);
        for (qsizetype at = finder.toNextBoundary(); at != -1 && at <= units; at = finder.toNextBoundary()) {
            m_isBoundary[static_cast<size_t>(at)] = 1;
            if (at == units)
                break;
        }
        m_isBoundary[0] = 1;
        m_isBoundary[static_cast<size_t>(units)] = 1;
    }
    m_boundaryCount.assign(static_cast<size_t>(units) + 1, 0);
    for (qsizetype k = 1; k <= units; ++k)
        m_boundaryCount[k] = m_boundaryCount[k - 1] + (m_isBoundary[k] ? 1 : 0);
}

std::optional<QString> AEPPathRun::plausibleTail(qsizetype start) const {
    if (!m_viable || (!m_simple && !m_segmentable))
        return std::nullopt;
    const qsizetype end = m_text.size();
    if (start < 0 || end - start < 1 || start <= m_lastUndecodable)
        return std::nullopt;
    // The tail's first cluster begins at start; the others are the run's.
    const qsizetype characters = 1 + m_boundaryCount[end - 1] - m_boundaryCount[start];
    if (characters < 5 || characters > AEPParser::maxPathCharacters)
        return std::nullopt;
    const QChar first = m_normalized[start];
    if (first != u'/' && first != u'~') {
        const bool colonSecond = characters >= 3 && m_isBoundary[start + 1] && m_text[start + 1] == u':' &&
                                 m_isBoundary[start + 2];
        if (!colonSecond)
            return std::nullopt;
    }
    if (m_extensionDot <= std::max(m_componentStart, start))
        return std::nullopt;
    const qint32 printable = m_printable[end] - m_printable[start];
    if (static_cast<double>(printable) / static_cast<double>(characters) <= 0.9)
        return std::nullopt;
    return m_normalized.mid(start);
}

} // namespace tarnwick
