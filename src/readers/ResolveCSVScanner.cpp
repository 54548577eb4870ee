#include "readers/ResolveCSVScanner.h"

#include <QChar>

#include <utility>

namespace tarnwick {

namespace {

constexpr qsizetype kLongCell = qsizetype(1) << 20;

bool endsUnquotedRun(char16_t c) {
    return c == u',' || c == u'"' || c == u'\n' || c == u'\r';
}

} // namespace

ResolveCSVScanner::ResolveCSVScanner(std::function<void()> recordEnded)
    : m_recordEnded(std::move(recordEnded)) {}

void ResolveCSVScanner::keepCells(qsizetype first, qsizetype second) {
    m_keepAll = false;
    m_keepAt[0] = first;
    m_keepAt[1] = second;
}

void ResolveCSVScanner::startCell() {
    m_atCellStart = true;
    if (m_keepAll)
        m_target = &m_cell;
    else if (m_cellIndex == m_keepAt[0])
        m_target = &m_kept[0];
    else if (m_cellIndex == m_keepAt[1])
        m_target = &m_kept[1];
    else
        m_target = nullptr;
}

void ResolveCSVScanner::append(const char16_t* from, const char16_t* to) {
    if (from == to)
        return;
    if (!m_content) {
        for (const char16_t* c = from; c < to && !m_content; ++c)
            m_content = !QChar::isSpace(*c);
    }
    if (!m_target)
        return;
    const qsizetype needed = m_target->size() + (to - from);
    if (needed > m_target->capacity() && needed > kLongCell && m_longestCell > needed)
        m_target->reserve(qsizetype(m_longestCell));
    m_target->append(QStringView(from, to));
}

void ResolveCSVScanner::endCell() {
    if (m_keepAll) {
        m_cells.append(std::move(m_cell));
        m_cell = QString();
    }
    ++m_cellIndex;
    startCell();
}

void ResolveCSVScanner::endRecord() {
    endCell();
    m_recordEnded();
    m_cells.clear();
    m_kept[0].resize(0); // keeps its room for the next record's cell
    m_kept[1].resize(0);
    m_cellIndex = 0;
    m_content = false;
    m_pending = false;
    startCell();
}

void ResolveCSVScanner::feed(QStringView text) {
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    if (p == end)
        return;
    if (m_swallowLF) {
        m_swallowLF = false;
        if (*p == u'\n')
            ++p;
    }
    if (m_quoteAtEnd && p < end) {
        m_quoteAtEnd = false;
        if (*p == u'"') {
            append(p, p + 1);
            ++p;
        } else {
            m_quoted = false;
        }
    }
    while (p < end) {
        if (m_quoted) {
            const char16_t* q = p;
            while (q < end && *q != u'"')
                ++q;
            append(p, q); // commas and line breaks included
            if (q == end)
                return;
            if (q + 1 == end) {
                m_quoteAtEnd = true;
                return;
            }
            if (q[1] == u'"') {
                append(q, q + 1);
                p = q + 2;
            } else {
                m_quoted = false;
                p = q + 1;
            }
            continue;
        }
        const char16_t* q = p;
        while (q < end && !endsUnquotedRun(*q))
            ++q;
        if (q > p) {
            m_pending = true;
            m_atCellStart = false;
            append(p, q);
        }
        if (q == end)
            return;
        switch (*q) {
        case u'\n':
            endRecord();
            p = q + 1;
            break;
        case u'\r':
            endRecord();
            p = q + 1;
            if (p == end)
                m_swallowLF = true;
            else if (*p == u'\n')
                ++p;
            break;
        case u'"':
            m_pending = true;
            // Later in a cell it is the name's own character: Resolve does not quote such names.
            if (m_atCellStart)
                m_quoted = true;
            else
                append(q, q + 1);
            m_atCellStart = false;
            p = q + 1;
            break;
        default: // ','
            m_pending = true;
            endCell();
            p = q + 1;
            break;
        }
    }
}

void ResolveCSVScanner::finish() {
    if (m_quoteAtEnd) {
        m_quoteAtEnd = false;
        m_quoted = false;
    }
    m_swallowLF = false;
    m_endsInsideQuote = m_quoted;
    // An unterminated quote takes the rest of the text into its cell.
    if (m_pending || m_quoted)
        endRecord();
    m_quoted = false;
}

} // namespace tarnwick
