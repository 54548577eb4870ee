#include "stores/AuditLogIndex.h"

#include "platform/JsonForm.h"

#include <QJsonArray>

#include <charconv>
#include <cmath>
#include <cstring>

namespace tarnwick {

namespace {

// Seconds between 1970-01-01 and 2001-01-01, both UTC (as JsonForm).
constexpr double referenceOffset = 978307200.0;

struct Text {
    const char* begin = nullptr;
    const char* end = nullptr;
    bool escaped = false;
    qsizetype size() const { return end - begin; }
    bool is(const char* literal) const {
        const size_t n = std::strlen(literal);
        return !escaped && size_t(size()) == n && std::memcmp(begin, literal, n) == 0;
    }
};

// A reader for the log as our encoder writes it (and with whitespace, keys in any order, unknown
// keys and null destinations). Whatever it does not take, the full decoder judges.
class QuickReader {
public:
    QuickReader(const QByteArray& bytes, const QSet<QUuid>& lookFor, QSet<QUuid>* found)
        : m_begin(bytes.constData()), m_p(m_begin), m_end(m_begin + bytes.size()), m_lookFor(lookFor),
          m_found(found) {}

    bool read(std::vector<AuditLogIndex::Span>& spans) {
        space();
        if (!take('['))
            return false;
        space();
        if (take(']'))
            return atEnd();
        for (;;) {
            space();
            AuditLogIndex::Span span;
            span.offset = quint32(m_p - m_begin);
            if (!object(span.timestampMs))
                return false;
            span.length = quint32(m_p - m_begin) - span.offset;
            spans.push_back(span);
            space();
            if (take(','))
                continue;
            if (take(']'))
                return atEnd();
            return false;
        }
    }

    bool compact() const { return m_compact; }

private:
    bool atEnd() {
        space();
        return m_p == m_end;
    }
    void space() {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t')) {
            m_compact = false;
            ++m_p;
        }
    }
    bool take(char c) {
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }
    static bool isHex(char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }

    bool string(Text& text) {
        if (!take('"'))
            return false;
        text.begin = m_p;
        text.escaped = false;
        while (m_p < m_end) {
            const unsigned char c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                text.end = m_p++;
                return true;
            }
            if (c == '\\') {
                text.escaped = true;
                if (++m_p >= m_end)
                    return false;
                const char e = *m_p;
                if (e == 'u') {
                    if (m_end - m_p < 5 || !isHex(m_p[1]) || !isHex(m_p[2]) || !isHex(m_p[3]) ||
                        !isHex(m_p[4]))
                        return false;
                    m_p += 5;
                    continue;
                }
                if (e == '\0' || !std::strchr("\"\\/bfnrt", e))
                    return false;
                ++m_p;
                continue;
            }
            if (c < 0x20)
                return false;
            if (c == '/')
                m_compact = false; // the encoder writes every "/" as "\/"
            ++m_p;
        }
        return false;
    }

    bool number(Text& text) {
        text.begin = m_p;
        take('-');
        if (m_p >= m_end || !(*m_p >= '0' && *m_p <= '9'))
            return false;
        while (m_p < m_end && ((*m_p >= '0' && *m_p <= '9') || *m_p == '.' || *m_p == 'e' || *m_p == 'E' ||
                               *m_p == '+' || *m_p == '-'))
            ++m_p;
        text.end = m_p;
        return true;
    }

    bool literal(const char* word) {
        const size_t n = std::strlen(word);
        if (size_t(m_end - m_p) < n || std::memcmp(m_p, word, n) != 0)
            return false;
        m_p += n;
        return true;
    }

    bool value(int depth) {
        if (m_p >= m_end || depth > 64)
            return false;
        Text t;
        switch (*m_p) {
        case '"':
            return string(t);
        case '{':
        case '[': {
            const char close = *m_p == '{' ? '}' : ']';
            const bool isObject = close == '}';
            ++m_p;
            space();
            if (take(close))
                return true;
            for (;;) {
                space();
                if (isObject) {
                    if (!string(t))
                        return false;
                    space();
                    if (!take(':'))
                        return false;
                    space();
                }
                if (!value(depth + 1))
                    return false;
                space();
                if (take(','))
                    continue;
                return take(close);
            }
        }
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number(t);
        }
    }

    bool stringList() {
        if (!take('['))
            return false;
        space();
        if (take(']'))
            return true;
        Text t;
        for (;;) {
            space();
            if (!string(t))
                return false;
            space();
            if (take(','))
                continue;
            return take(']');
        }
    }

    bool uuid(const Text& t) {
        if (t.escaped)
            return false;
        const QUuid id = QUuid::fromString(QLatin1String(t.begin, t.size()));
        if (id.isNull()) {
            static const QByteArray zero = "00000000-0000-0000-0000-000000000000";
            const QByteArray raw = QByteArray::fromRawData(t.begin, t.size());
            if (raw != zero && raw != "{" + zero + "}")
                return false;
        }
        if (m_found && m_lookFor.contains(id))
            m_found->insert(id);
        return true;
    }

    static bool timestamp(const Text& t, qint64& ms) {
        double seconds = 0;
        const auto [end, error] = std::from_chars(t.begin, t.end, seconds);
        if (error != std::errc() || end != t.end)
            return false;
        const double value = std::round((seconds + referenceOffset) * 1000.0);
        constexpr double limit = 4611686018427387904.0; // as JsonForm's toDate
        if (!(value > -limit && value < limit))
            return false;
        ms = qint64(value);
        return true;
    }

    // Whole numbers only, as the entry's decoder takes them; anything else goes to the full decoder.
    static bool wholeNumber(const Text& t) {
        const char* p = t.begin;
        if (p < t.end && *p == '-')
            ++p;
        if (p == t.end || t.end - p > 18)
            return false;
        for (; p < t.end; ++p) {
            if (*p < '0' || *p > '9')
                return false;
        }
        return true;
    }

    static bool knownAction(const Text& t) {
        return t.is("Moved to Trash") || t.is("Deleted Permanently") || t.is("Moved to Folder") ||
               t.is("Restored") || t.is("Transcoded & Replaced");
    }

    bool object(qint64& timestampMs) {
        enum Key { id = 1, time = 2, action = 4, path = 8, name = 16, size = 32, projects = 64 };
        constexpr int all = id | time | action | path | name | size | projects;
        if (!take('{'))
            return false;
        int seen = 0;
        space();
        if (take('}'))
            return false;
        for (;;) {
            space();
            Text key;
            if (!string(key) || key.escaped)
                return false;
            space();
            if (!take(':'))
                return false;
            space();
            Text v;
            if (key.is("id")) {
                if (!string(v) || !uuid(v))
                    return false;
                seen |= id;
            } else if (key.is("timestamp")) {
                if (!number(v) || !timestamp(v, timestampMs))
                    return false;
                seen |= time;
            } else if (key.is("action")) {
                if (!string(v) || !knownAction(v))
                    return false;
                seen |= action;
            } else if (key.is("filePath") || key.is("fileName")) {
                if (!string(v))
                    return false;
                seen |= key.is("filePath") ? path : name;
            } else if (key.is("fileSize")) {
                if (!number(v) || !wholeNumber(v))
                    return false;
                seen |= size;
            } else if (key.is("projectNames")) {
                if (!stringList())
                    return false;
                seen |= projects;
            } else if (key.is("destinationPath")) {
                if (!(m_p < m_end && *m_p == 'n' ? literal("null") : string(v)))
                    return false;
            } else if (!value(0)) {
                return false;
            }
            space();
            if (take(','))
                continue;
            return take('}') && seen == all;
        }
    }

    const char* m_begin;
    const char* m_p;
    const char* m_end;
    const QSet<QUuid>& m_lookFor;
    QSet<QUuid>* m_found;
    bool m_compact = true;
};

} // namespace

std::optional<AuditLogIndex> AuditLogIndex::build(QByteArray bytes, const QSet<QUuid>& lookFor,
                                                  QSet<QUuid>* found) {
    AuditLogIndex index;
    if (bytes.size() < qsizetype(0xFFFFFFFFu)) {
        QSet<QUuid> quickFound;
        QuickReader reader(bytes, lookFor, found ? &quickFound : nullptr);
        if (reader.read(index.m_spans)) {
            index.m_compact = reader.compact();
            index.m_bytes = std::move(bytes);
            if (found)
                *found += quickFound;
            return index;
        }
        index.m_spans.clear();
    }
    // The full decoder has the last word.
    const auto doc = json::decode(bytes);
    if (!doc || !doc->isArray())
        return std::nullopt;
    const QJsonArray array = doc->array();
    index.m_decoded.reserve(array.size());
    for (const QJsonValue& value : array) {
        const auto entry = value.isObject() ? AuditLogEntry::fromJson(value.toObject()) : std::nullopt;
        if (!entry)
            return std::nullopt;
        if (found && lookFor.contains(entry->id))
            found->insert(entry->id);
        index.m_decoded.append(*entry);
    }
    return index;
}

AuditLogEntry AuditLogIndex::entry(qsizetype index) const {
    if (m_spans.empty())
        return m_decoded.at(index);
    const Span& span = m_spans[size_t(index)];
    const auto doc = json::decode(QByteArray::fromRawData(m_bytes.constData() + span.offset, span.length));
    const auto entry = doc && doc->isObject() ? AuditLogEntry::fromJson(doc->object()) : std::nullopt;
    return entry.value_or(AuditLogEntry{});
}

qint64 AuditLogIndex::timestampMs(qsizetype index) const {
    if (m_spans.empty())
        return m_decoded.at(index).timestamp.toMSecsSinceEpoch();
    return m_spans[size_t(index)].timestampMs;
}

} // namespace tarnwick
