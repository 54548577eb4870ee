// The whole-file path scans and the footage path test of AEPParser.
#include "readers/AEPParser.h"

#include "platform/Graphemes.h"
#include "platform/PathText.h"
#include "readers/AEPPathRun.h"
#include "readers/AEPPathText.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace tarnwick {

namespace {

std::atomic<qint64> decodedAlone{0};

std::optional<QString> decodeAlone(QByteArrayView bytes, bool utf16) {
    decodedAlone.fetch_add(1, std::memory_order_relaxed);
    return utf16 ? aep::decodeUtf16BE(bytes) : aep::decodeUtf8(bytes);
}

// First byte at or after `from` that ends an unquoted 8-bit run, or `end`.
qint64 nextRunStop(const uchar* d, qint64 from, qint64 end) {
    while (from < end && aep::continuesRun(d[from]))
        ++from;
    return from;
}

qint64 nextQuote(const uchar* d, qint64 from, qint64 end) {
    const void* hit = from < end ? std::memchr(d + from, '"', static_cast<size_t>(end - from)) : nullptr;
    return hit != nullptr ? static_cast<const uchar*>(hit) - d : end;
}

// Backslashes directly before `at`, not counting any before `floor`.
qint64 backslashesBefore(const uchar* d, qint64 at, qint64 floor) {
    qint64 n = 0;
    while (at - 1 - n >= floor && d[at - 1 - n] == '\\')
        ++n;
    return n;
}

// The quote that closes a JSON string opened just before `start`: the first one in [from, stop)
// that no backslash escapes, or `stop`.
qint64 closingQuote(const uchar* d, qint64 start, qint64 from, qint64 stop) {
    qint64 q = nextQuote(d, from, stop);
    while (q < stop && backslashesBefore(d, q, start) % 2 == 1)
        q = nextQuote(d, q + 1, stop);
    return q;
}

// First whole 00 00 unit at or after the even offset `from`, or `end`.
qint64 nextZeroUnit(const uchar* d, qint64 from, qint64 end) {
    for (qint64 j = from; j + 1 < end; j += 2) {
        if (d[j] == 0 && d[j + 1] == 0)
            return j;
    }
    return end;
}

// Where an 8-bit candidate may start at the mark found at j, or -1.
qint64 utf8CandidateAt(const uchar* d, qint64 j, qint64 size) {
    const qint64 i = d[j] == ':' ? j - 1 : j;
    if (d[j] == ':' && (i < 0 || !aep::isAsciiLetter(d[i]) || i + 2 >= size))
        return -1;
    // "\\" starts a UNC path; inside a quoted (JSON) string "\/" is an escaped slash.
    if (d[j] == '\\' &&
        (i + 1 >= size || (d[i + 1] != '\\' && !(d[i + 1] == '/' && i > 0 && d[i - 1] == '"'))))
        return -1;
    return i;
}

// Where a UTF-16 candidate starts for the mark found at odd j, or -1.
qint64 utf16CandidateAt(const uchar* d, qint64 j, qint64 size) {
    if (d[j] == ':') {
        const qint64 i = j - 3;
        return i >= 0 && d[i] == 0 && d[i + 2] == 0 && aep::isAsciiLetter(d[i + 1]) ? i : -1;
    }
    const qint64 i = j - 1;
    if (d[i] != 0)
        return -1;
    if (d[j] == '\\' && !(i + 3 < size && d[i + 2] == 0 && d[i + 3] == '\\'))
        return -1;
    return i;
}

// Starts with "/", "\\" or "~", or has at least 3 characters of which the second is ":".
bool startsAsPath(const QString& text, qsizetype characters) {
    const QChar first = text[0];
    if (first == u'/' || first == u'\\' || first == u'~')
        return true;
    if (characters < 3)
        return false;
    if (aep::breaksEverywhereButCrLf(text))
        return text[(text[0] == u'\r' && text[1] == u'\n') ? 2 : 1] == u':';
    const qsizetype firstEnd = graphemes::prefix(text, 1).size();
    const QString two = graphemes::prefix(text, 2);
    return QStringView(two).sliced(firstEnd) == u":";
}

// Candidates that end at the same place are tails of one run. The first is judged on its own;
// from the second on, the run is prepared once and every further tail is judged from it.
struct SharedRun {
    AEPPathRun run;
    qint64 start = 0;
    qint64 end = -1;
    bool prepared = false;

    // True when the candidate starting at i is the first to end at `runEnd`.
    bool isFirst(qint64 i, qint64 runEnd) {
        if (end == runEnd)
            return false;
        start = i;
        end = runEnd;
        prepared = false;
        return true;
    }
};

} // namespace

void aep::scanUtf8Range(QByteArrayView bytes, qint64 from, qint64 to, QSet<QString>& into) {
    const qint64 size = bytes.size();
    if (size <= 5)
        return;
    const auto* d = reinterpret_cast<const uchar*>(bytes.data());
    const qint64 last = std::min(to, size - 5); // starts run to size - 6
    // Run ends only move forward and shared runs are prepared once: the work stays linear however
    // many candidates share a run.
    qint64 stop = -1;
    qint64 quote = -1;
    SharedRun open;
    const qint64 markEnd = std::min(last + 1, size);
    for (qint64 j = aep::nextUtf8Mark(d, from, markEnd); j < markEnd;
         j = aep::nextUtf8Mark(d, j + 1, markEnd)) {
        const qint64 i = utf8CandidateAt(d, j, size);
        if (i < from)
            continue;
        if (i >= last)
            break;
        const bool quoted = i > 0 && d[i - 1] == '"';
        if (i > 0 && d[i - 1] >= 0x20 && !quoted)
            continue;
        if (stop < i)
            stop = nextRunStop(d, i, size);
        qint64 end = stop;
        if (quoted) {
            if (quote < i)
                quote = nextQuote(d, i, size);
            end = std::min(end, quote);
            // A JSON string (its opening quote not escaped) may hold escaped quotes: it then runs to its
            // closing quote, when what lies between reads as JSON text. Strings never overlap, so
            // each byte is looked at by one string only.
            if (end == quote && end < size && backslashesBefore(d, i - 1, 0) % 2 == 0 &&
                backslashesBefore(d, end, i) % 2 == 1) {
                const qint64 closing = closingQuote(d, i, end + 1, stop);
                if (closing < stop && closing - i < AEPParser::runLimit) {
                    const std::optional<QString> text = aep::decodeUtf8(bytes.sliced(i, closing - i));
                    if (text && aep::jsonUnescaped(*text))
                        end = closing;
                }
            }
        }
        const qint64 limit = std::min(size - i, AEPParser::runLimit);
        const qint64 run = std::min(end - i, limit);
        const bool candidate = run < limit ? run >= 5 : (size - i >= 5 && size - i <= AEPParser::runLimit);
        if (!candidate)
            continue;
        if (quoted) {
            // A quoted run ends at the next quote, so no other candidate shares its end: each is
            // decoded once, its JSON escapes undone.
            aep::addIfPlausibleQuoted(decodeAlone(bytes.sliced(i, run), false), into);
            continue;
        }
        SharedRun& shared = open;
        if (shared.isFirst(i, i + run)) {
            aep::addIfPlausible(decodeAlone(bytes.sliced(i, run), false), into);
            continue;
        }
        if (!shared.prepared) {
            shared.run.assignUtf8(bytes.sliced(shared.start, shared.end - shared.start));
            shared.prepared = true;
        }
        const std::optional<QString> tail = shared.run.plausibleTail(shared.run.unitOf(i - shared.start));
        if (tail)
            into.insert(*tail);
    }
}

void aep::scanUtf16Range(QByteArrayView bytes, qint64 from, qint64 to, QSet<QString>& into) {
    const qint64 size = bytes.size();
    if (size <= 10)
        return;
    const auto* d = reinterpret_cast<const uchar*>(bytes.data());
    const qint64 last = std::min(to, size - 10);
    qint64 terminator = -1;
    SharedRun shared;
    qint64 previous = -1;
    const qint64 markEnd = std::min(last + 3, size);
    for (qint64 j = aep::nextUtf16Mark(d, from, markEnd); j < markEnd;
         j = aep::nextUtf16Mark(d, j + 1, markEnd)) {
        if (j % 2 == 0)
            continue;
        const qint64 i = utf16CandidateAt(d, j, size);
        if (i < from || i == previous)
            continue;
        if (i >= last)
            break;
        previous = i;
        if (terminator < i)
            terminator = nextZeroUnit(d, i, size);
        const qint64 available = size - i;
        qint64 end = 0;
        if (terminator < size && terminator - i <= std::min(available, AEPParser::runLimit) - 2)
            end = terminator;
        else if (available > AEPParser::runLimit)
            continue;
        else
            end = i + (available & ~qint64(1));
        if (end - i < 10)
            continue;
        if (shared.isFirst(i, end)) {
            aep::addIfPlausible(decodeAlone(bytes.sliced(i, end - i), true), into);
            continue;
        }
        if (!shared.prepared) {
            shared.run.assignUtf16BE(bytes.sliced(shared.start, shared.end - shared.start));
            shared.prepared = true;
        }
        const std::optional<QString> tail = shared.run.plausibleTail((i - shared.start) / 2);
        if (tail)
            into.insert(*tail);
    }
}

qint64 aep::candidatesDecodedAlone() {
    return decodedAlone.load(std::memory_order_relaxed);
}

void AEPParser::scanUTF8Paths(QByteArrayView bytes, QSet<QString>& into) {
    aep::scanUtf8Range(bytes, 0, bytes.size(), into);
}

void AEPParser::scanUTF16BEPaths(QByteArrayView bytes, QSet<QString>& into) {
    aep::scanUtf16Range(bytes, 0, bytes.size(), into);
}

std::optional<QString> AEPParser::readUTF16BEPath(QByteArrayView bytes, qint64 at, qint64 length) {
    if (at < 0 || at > bytes.size())
        return std::nullopt;
    const qint64 available = std::min(length, bytes.size() - at);
    if (available < 2)
        return std::nullopt;
    const auto* d = reinterpret_cast<const uchar*>(bytes.data()) + at;
    const qint64 limit = std::min(available, runLimit);
    qint64 run = -1;
    for (qint64 k = 0; k + 1 < limit; k += 2) {
        if (d[k] == 0 && d[k + 1] == 0) {
            run = k;
            break;
        }
    }
    if (run < 0) {
        if (available > runLimit)
            return std::nullopt;
        run = available & ~qint64(1);
    }
    if (run < 10)
        return std::nullopt;
    return aep::decodeUtf16BE(bytes.sliced(at, run));
}

bool AEPParser::isPlausibleFootagePath(const QString& text) {
    if (text.size() < 5 || path::containsNul(text))
        return false;
    const qsizetype characters = aep::characterCount(text);
    if (characters < 5 || characters > maxPathCharacters)
        return false;
    if (!startsAsPath(text, characters) || !aep::qualifiesAsFootageExtension(aep::pathExtension(text)))
        return false;
    qsizetype printable = 0;
    for (qsizetype k = 0; k < text.size(); ++k) {
        char32_t scalar = text[k].unicode();
        if (QChar::isHighSurrogate(scalar) && k + 1 < text.size() && text[k + 1].isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(text[k], text[k + 1]);
            ++k;
        }
        if (aep::isPrintableScalar(scalar))
            ++printable;
    }
    return static_cast<double>(printable) / static_cast<double>(characters) > 0.9;
}

} // namespace tarnwick
