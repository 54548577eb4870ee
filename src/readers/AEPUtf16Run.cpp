#include "readers/AEPUtf16Run.h"

#include "readers/AEPParser.h"
#include "readers/AEPPathText.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace tarnwick {

AEPUtf16Run::AEPUtf16Run(QByteArrayView bytes) {
    const auto* d = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype units = bytes.size() / 2;
    m_text.resize(units);
    char16_t* out = reinterpret_cast<char16_t*>(m_text.data());
    for (qsizetype k = 0; k < units; ++k)
        out[k] = static_cast<char16_t>((d[2 * k] << 8) | d[2 * k + 1]);

    m_printable.assign(units + 1, 0);
    for (qsizetype k = 0; k < units; ++k) {
        const char16_t u = out[k];
        qint32 counted = 0;
        if (QChar::isHighSurrogate(u)) {
            if (k + 1 < units && QChar::isLowSurrogate(out[k + 1])) {
                // Supplementary scalars are all printable; counted at the first unit of the pair.
                m_printable[k + 1] = m_printable[k] + 1;
                ++k;
                m_printable[k + 1] = m_printable[k];
                continue;
            }
            m_lastUnpaired = k;
        } else if (QChar::isLowSurrogate(u)) {
            m_lastUnpaired = k;
        } else {
            counted = aep::isPrintableScalar(u) ? 1 : 0;
        }
        m_printable[k + 1] = m_printable[k] + counted;
    }
    m_normalized = m_text;
    m_normalized.replace(QLatin1Char('\\'), QLatin1Char('/'));
    findBoundaries();
    findExtension();
}

void AEPUtf16Run::findBoundaries() {
    const qsizetype units = m_text.size();
    m_isBoundary.assign(units + 1, 0);
    const bool ascii = std::all_of(m_text.cbegin(), m_text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
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

// The extension is the same for every tail that holds the last component whole; a tail starting
// inside that component (at a drive letter) shares it when the dot lies after the tail's start.
void AEPUtf16Run::findExtension() {
    m_trimmedEnd = m_normalized.size();
    while (m_trimmedEnd > 0 && m_normalized[m_trimmedEnd - 1] == u'/')
        --m_trimmedEnd;
    if (m_trimmedEnd == 0)
        return;
    const QStringView trimmed = QStringView(m_normalized).first(m_trimmedEnd);
    m_componentStart = trimmed.lastIndexOf(u'/') + 1;
    const qsizetype dot = trimmed.lastIndexOf(u'.');
    if (dot < m_componentStart || dot == m_trimmedEnd - 1)
        return;
    m_extensionDot = dot;
    m_extensionQualifies = aep::qualifiesAsFootageExtension(trimmed.sliced(dot + 1).toString());
}

std::optional<QString> AEPUtf16Run::plausibleTail(qsizetype start) const {
    const qsizetype end = m_text.size();
    if (start < 0 || end - start < 5 || start <= m_lastUnpaired)
        return std::nullopt;
    // Clusters after an ASCII start are those of the whole run; the tail's first begins at start.
    const qsizetype characters = 1 + m_boundaryCount[end - 1] - m_boundaryCount[start];
    if (characters < 5 || characters > AEPParser::maxPathCharacters)
        return std::nullopt;
    const QChar first = m_normalized[start];
    if (first != u'/' && first != u'~') {
        const bool colonSecond =
            characters >= 3 && m_isBoundary[start + 1] && m_text[start + 1] == u':' && m_isBoundary[start + 2];
        if (!colonSecond)
            return std::nullopt;
    }
    if (m_trimmedEnd <= start || !m_extensionQualifies ||
        m_extensionDot <= std::max(m_componentStart, start))
        return std::nullopt;
    const qint32 printable = m_printable[end] - m_printable[start];
    if (static_cast<double>(printable) / static_cast<double>(characters) <= 0.9)
        return std::nullopt;
    return m_normalized.mid(start);
}

} // namespace tarnwick
