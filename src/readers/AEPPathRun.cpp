#include "readers/AEPPathRun.h"

#include "readers/AEPParser.h"
#include "readers/AEPPathText.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <atomic>

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

std::atomic<qint64> segmentedForTails{0};

struct Scalar {
    char32_t value;
    int units;
};

inline Scalar scalarAt(const char16_t* text, qsizetype units, qsizetype k) {
    if (QChar::isHighSurrogate(text[k]) && k + 1 < units && QChar::isLowSurrogate(text[k + 1]))
        return {QChar::surrogateToUcs4(text[k], text[k + 1]), 2};
    return {text[k], 1};
}

inline bool isMark(char32_t c) {
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
           category == QChar::Mark_Enclosing;
}

// The script item state after `c` (see findScriptStates()).
inline quint8 nextScriptState(quint8 state, char32_t c) {
    const auto script = static_cast<quint8>(QChar::script(c));
    if (script == state || script <= QChar::Script_Common)
        return state;
    if (state <= QChar::Script_Common || !isMark(c))
        return script;
    return state;
}

void appendScalar(QString& into, char32_t c) {
    if (QChar::requiresSurrogates(c)) {
        into.append(QChar(QChar::highSurrogate(c)));
        into.append(QChar(QChar::lowSurrogate(c)));
    } else {
        into.append(QChar(static_cast<char16_t>(c)));
    }
}

} // namespace

void AEPPathRun::findBoundaries() {
    const qsizetype units = m_text.size();
    m_simple = aep::breaksEverywhereButCrLf(m_text);
    m_segmentable = !m_simple && segmentsGenerically(m_text);
    if (m_simple) {
        m_isBoundary.assign(static_cast<size_t>(units) + 1, 1);
        for (qsizetype k = 1; k < units; ++k)
            m_isBoundary[k] = !(m_text[k - 1] == u'\r' && m_text[k] == u'\n');
    } else {
        // One segmentation of the whole run, not one per tail.
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
    if (!m_simple && !m_segmentable)
        findScriptStates();
}

// How the platform segments text into characters: the generic rules first, which never look back
// past an ASCII character; then, over each run of one script (a script item), that script's own
// syllable or cell rules where it has them. Those rules always start a new syllable at an ASCII
// character and look no further back than their syllable's start. Script items are found from left
// to right: common and inherited characters take the current script, the first character of a
// script of its own gives its script to the item so far, and after that a character of another
// script starts a new item unless it is a combining mark.
//
// So from an ASCII character on, a tail is segmented as the run is, as soon as the tail's script
// state there equals the run's, or the tail's state is still unset and the next character with a
// script of its own sets it to the run's; until then, windows from one ASCII character to the next
// are segmented on their own, their counts kept by unit and state, so that tails sharing a stretch
// of text share its windows. The scans only need each tail's count of characters after its start.
void AEPPathRun::findScriptStates() {
    static_assert(QChar::ScriptCount <= 256);
    const qsizetype units = m_text.size();
    const char16_t* text = reinterpret_cast<const char16_t*>(m_text.constData());
    m_scriptAfter.assign(static_cast<size_t>(units), QChar::Script_Common);
    m_nextAscii.assign(static_cast<size_t>(units) + 1, static_cast<qint32>(units));
    m_nextScripted.assign(static_cast<size_t>(units) + 1, -1);
    quint8 state = QChar::Script_Common;
    for (qsizetype k = 0; k < units;) {
        const Scalar c = scalarAt(text, units, k);
        state = nextScriptState(state, c.value);
        for (int j = 0; j < c.units; ++j)
            m_scriptAfter[static_cast<size_t>(k + j)] = state;
        k += c.units;
    }
    for (qsizetype k = units - 1; k >= 0; --k) {
        if (k + 1 < units)
            m_nextAscii[static_cast<size_t>(k)] =
                text[k + 1] < 0x80 ? static_cast<qint32>(k + 1) : m_nextAscii[static_cast<size_t>(k) + 1];
        const bool lowHalf = k > 0 && QChar::isLowSurrogate(text[k]) && QChar::isHighSurrogate(text[k - 1]);
        const bool scripted =
            !lowHalf && QChar::script(scalarAt(text, units, k).value) > QChar::Script_Common;
        m_nextScripted[static_cast<size_t>(k)] =
            scripted ? static_cast<qint32>(k) : m_nextScripted[static_cast<size_t>(k) + 1];
    }
    m_boundariesAfter.clear();
}

qint64 AEPPathRun::unitsSegmentedForTails() {
    return segmentedForTails.load(std::memory_order_relaxed);
}

// Boundaries of the tail from `start` in (start, end).
qsizetype AEPPathRun::boundariesAfter(qsizetype start) const {
    const qsizetype units = m_text.size();
    if (m_simple || m_segmentable)
        return m_boundaryCount[units - 1] - m_boundaryCount[start];
    const char16_t* text = reinterpret_cast<const char16_t*>(m_text.constData());
    const auto key = [](qsizetype at, quint8 script) { return (static_cast<qint64>(at) << 8) | script; };
    quint8 script = nextScriptState(QChar::Script_Common, text[start]);
    char32_t scriptChar = text[start];
    qsizetype at = start;
    qint32 after = 0;
    m_steps.clear();
    // The script the item holding `at` ends up with.
    const auto itemScript = [&](qsizetype at, quint8 state) -> quint8 {
        if (state > QChar::Script_Common)
            return state;
        const qint32 scripted = m_nextScripted[static_cast<size_t>(at) + 1];
        return scripted < 0 ? quint8(QChar::Script_Common)
                            : static_cast<quint8>(QChar::script(scalarAt(text, units, scripted).value));
    };
    while (true) {
        if (itemScript(at, script) == itemScript(at, m_scriptAfter[static_cast<size_t>(at)])) {
            after = m_boundaryCount[units - 1] - m_boundaryCount[at];
            break;
        }
        if (const auto known = m_boundariesAfter.find(key(at, script)); known != m_boundariesAfter.end()) {
            after = known->second;
            break;
        }
        const qsizetype next = m_nextAscii[static_cast<size_t>(at)];
        quint8 nextScript = script;
        char32_t nextScriptChar = scriptChar;
        for (qsizetype k = at + 1; k < std::min(next + 1, units);) {
            const Scalar c = scalarAt(text, units, k);
            const quint8 changed = nextScriptState(nextScript, c.value);
            if (changed != nextScript) {
                nextScript = changed;
                nextScriptChar = c.value;
            }
            k += c.units;
        }
        m_steps.emplace_back(key(at, script), windowBoundaries(at, next, script, scriptChar, nextScript));
        if (next >= units)
            break;
        at = next;
        script = nextScript;
        scriptChar = nextScriptChar;
    }
    for (auto step = m_steps.rbegin(); step != m_steps.rend(); ++step) {
        after += step->second;
        m_boundariesAfter[step->first] = after;
    }
    return after;
}

// Boundaries in (at, next] (to the end, not counting it, when next is the size) of text whose
// script state after the ASCII character at `at` is `script`.
qint32 AEPPathRun::windowBoundaries(qsizetype at, qsizetype next, quint8 script, char32_t scriptChar,
                                    quint8 nextScript) const {
    const qsizetype units = m_text.size();
    m_window.clear();
    // A character of the script puts the segmentation in that state; its syllable ends at `at`.
    if (script > QChar::Script_Common)
        appendScalar(m_window, scriptChar);
    const qsizetype offset = m_window.size();
    const qsizetype last = std::min(next, units - 1);
    m_window.append(QStringView(m_text).sliced(at, last - at + 1));
    if (next < units && nextScript <= QChar::Script_Common) {
        // The window's script item takes its script from the first character after it that has one.
        const qint32 scripted = m_nextScripted[static_cast<size_t>(next) + 1];
        if (scripted >= 0)
            appendScalar(
                m_window,
                scalarAt(reinterpret_cast<const char16_t*>(m_text.constData()), units, scripted).value);
    }
    segmentedForTails.fetch_add(m_window.size(), std::memory_order_relaxed);
    const qsizetype limit = next < units ? offset + (next - at) : offset + (units - at) - 1;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_window);
    finder.setPosition(offset);
    qint32 count = 0;
    for (qsizetype p = finder.toNextBoundary(); p != -1 && p <= limit; p = finder.toNextBoundary())
        ++count;
    return count;
}

qsizetype AEPPathRun::tailCharacters(qsizetype start) const {
    if (!m_viable || start < 0 || start >= m_text.size())
        return 0;
    return 1 + boundariesAfter(start);
}

std::optional<QString> AEPPathRun::plausibleTail(qsizetype start) const {
    if (!m_viable)
        return std::nullopt;
    const qsizetype end = m_text.size();
    if (start < 0 || end - start < 1 || start <= m_lastUndecodable)
        return std::nullopt;
    const qsizetype characters = tailCharacters(start);
    if (characters < 5 || characters > AEPParser::maxPathCharacters)
        return std::nullopt;
    const QChar first = m_normalized[start];
    if (first != u'/' && first != u'~') {
        // Only a drive letter starts so: its boundaries are the run's (see findScriptStates()).
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
