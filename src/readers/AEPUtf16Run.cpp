#include "readers/AEPUtf16Run.h"

#include "readers/AEPParser.h"
#include "readers/AEPPathText.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace tarnwick {

namespace {

inline char16_t unitAt(const uchar* bytes, qsizetype k) {
    return static_cast<char16_t>((bytes[2 * k] << 8) | bytes[2 * k + 1]);
}

inline bool isSeparator(char16_t u) {
    return u == u'/' || u == u'\\';
}

} // namespace

void AEPUtf16Run::assign(QByteArrayView bytes) {
    const auto* d = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype units = bytes.size() / 2;
    m_viable = findExtension(d, units);
    if (!m_viable)
        return;
    decode(d, units);
    findBoundaries();
}

// The extension is the same for every tail that holds the last component whole; a tail starting
// inside that component (at a drive letter) shares it when the dot lies after the tail's start.
// Checked first, on the raw units: most runs in binary data end here.
bool AEPUtf16Run::findExtension(const uchar* d, qsizetype units) {
    qsizetype end = units;
    while (end > 0 && isSeparator(unitAt(d, end - 1)))
        --end;
    m_extensionDot = -1;
    qsizetype k = end;
    while (k > 0 && !isSeparator(unitAt(d, k - 1))) {
        if (m_extensionDot < 0 && unitAt(d, k - 1) == u'.')
            m_extensionDot = k - 1;
        --k;
    }
    m_componentStart = k;
    if (m_extensionDot < 0 || m_extensionDot == m_componentStart || m_extensionDot == end - 1)
        return false;
    QString extension(end - m_extensionDot - 1, Qt::Uninitialized);
    for (qsizetype j = 0; j < extension.size(); ++j)
        extension[j] = QChar(unitAt(d, m_extensionDot + 1 + j));
    return aep::qualifiesAsFootageExtension(extension);
}

void AEPUtf16Run::decode(const uchar* d, qsizetype units) {
    m_text.resize(units);
    m_normalized.resize(units);
    char16_t* out = reinterpret_cast<char16_t*>(m_text.data());
    char16_t* normalized = reinterpret_cast<char16_t*>(m_normalized.data());
    m_printable.assign(units + 1, 0);
    m_lastUnpaired = -1;
    for (qsizetype k = 0; k < units; ++k) {
        out[k] = unitAt(d, k);
        normalized[k] = out[k] == u'\\' ? u'/' : out[k];
    }
    for (qsizetype k = 0; k < units; ++k) {
        const char16_t u = out[k];
        if (QChar::isHighSurrogate(u) && k + 1 < units && QChar::isLowSurrogate(out[k + 1])) {
            // Supplementary scalars are all printable; counted at the first unit of the pair.
            m_printable[k + 1] = m_printable[k] + 1;
            m_printable[k + 2] = m_printable[k + 1];
            ++k;
            continue;
        }
        if (QChar::isSurrogate(u))
            m_lastUnpaired = k;
        m_printable[k + 1] = m_printable[k] + (aep::isPrintableScalar(u) ? 1 : 0);
    }
}

void AEPUtf16Run::findBoundaries() {
    const qsizetype units = m_text.size();
    m_isBoundary.assign(units + 1, 0);
    if (aep::breaksEverywhereButCrLf(m_text)) {
        for (qsizetype k = 1; k < units; ++k)
            m_isBoundary[k] = !(m_text[k - 1] == u'\r' && m_text[k] == u'\n');
    } else {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_text);
        qsizetype pos = 0;
        while ((pos = finder.toNextBoundary()) != -1 && pos < units)
            m_isBoundary[pos] = 1;
    }
    m_isBoundary[units] = 1;
    m_boundaryCount.assign(units + 1, 0);
    for (qsizetype k = 1; k <= units; ++k)
        m_boundaryCount[k] = m_boundaryCount[k - 1] + (m_isBoundary[k] ? 1 : 0);
}

std::optional<QString> AEPUtf16Run::plausibleTail(qsizetype start) const {
    const qsizetype end = m_text.size();
    if (!m_viable || start < 0 || end - start < 5 || start <= m_lastUnpaired)
        return std::nullopt;
    // Clusters after an ASCII start are those of the whole run; the tail's first begins at start.
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
