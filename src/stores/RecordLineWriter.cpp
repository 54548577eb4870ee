#include "stores/RecordLineWriter.h"

#include "platform/JsonForm.h"
#include "stores/AllTimeStats.h"
#include "stores/AuditLogEntry.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tarnwick {

namespace {

char hexDigit(uint value) {
    return "0123456789abcdef"[value & 0xf];
}

char* writeUnicodeEscape(char* p, char16_t unit) {
    const char escape[] = {'\\',          'u', hexDigit(unit >> 12), hexDigit(unit >> 8), hexDigit(unit >> 4),
                           hexDigit(unit)};
    return std::copy(escape, escape + sizeof escape, p);
}

// The escape of an ASCII unit that JSON (and the stores, for the slash) will not take as it is.
char* writeAsciiEscape(char* p, char16_t unit) {
    char letter = 0;
    switch (unit) {
    case '"':
        letter = '"';
        break;
    case '\\':
        letter = '\\';
        break;
    case '/': // as the stores write it everywhere
        letter = '/';
        break;
    case '\b':
        letter = 'b';
        break;
    case '\f':
        letter = 'f';
        break;
    case '\n':
        letter = 'n';
        break;
    case '\r':
        letter = 'r';
        break;
    case '\t':
        letter = 't';
        break;
    default:
        return writeUnicodeEscape(p, unit);
    }
    *p++ = '\\';
    *p++ = letter;
    return p;
}

char* writeUtf8(char* p, char32_t code) {
    if (code < 0x800) {
        *p++ = char(0xc0 | (code >> 6));
    } else if (code < 0x10000) {
        *p++ = char(0xe0 | (code >> 12));
        *p++ = char(0x80 | ((code >> 6) & 0x3f));
    } else {
        *p++ = char(0xf0 | (code >> 18));
        *p++ = char(0x80 | ((code >> 12) & 0x3f));
        *p++ = char(0x80 | ((code >> 6) & 0x3f));
    }
    *p++ = char(0x80 | (code & 0x3f));
    return p;
}

bool isPlain(char16_t unit) {
    return unit >= 0x20 && unit < 0x80 && unit != '"' && unit != '\\' && unit != '/';
}

void appendInteger(QByteArray& out, qint64 value) {
    char digits[24];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, end.ptr - digits);
}

} // namespace

RecordLineWriter::RecordLineWriter() {
    m_bytes.reserve(1024); // a line with its paths and their worst-case room, without a move
    m_bytes.append('{');
}

// Written in place into room for the worst case (six bytes a unit), then cut to what was written:
// a line is built for every file a run touches, on the thread that touches them.
void RecordLineWriter::appendEscaped(QByteArray& out, QStringView text) {
    const qsizetype start = out.size();
    out.resize(start + 6 * text.size());
    char* const first = out.data();
    char* p = first + start;
    const char16_t* src = text.utf16();
    const char16_t* const end = src + text.size();
    while (src != end) {
        const char16_t unit = *src++;
        if (isPlain(unit))
            *p++ = char(unit);
        else if (unit < 0x80)
            p = writeAsciiEscape(p, unit);
        else if (!QChar::isSurrogate(unit))
            p = writeUtf8(p, unit);
        else if (QChar::isHighSurrogate(unit) && src != end && QChar::isLowSurrogate(*src))
            p = writeUtf8(p, QChar::surrogateToUcs4(unit, *src++));
        else
            p = writeUnicodeEscape(p, unit);
    }
    out.truncate(p - first);
}

void RecordLineWriter::appendNumber(QByteArray& out, double value) {
    if (!std::isfinite(value)) {
        out.append("null", 4);
        return;
    }
    // Whole numbers that a double holds exactly are kept as integers by the JSON value classes.
    constexpr double exact = 9007199254740992.0; // 2^53
    // From 1 to 2^33 (timestamps, one a line) the shortest form is plain decimals in both writers;
    // std::to_chars makes it without an allocation.
    constexpr double plainBelow = 8589934592.0; // 2^33
    if (std::abs(value) <= exact && std::trunc(value) == value) {
        appendInteger(out, qint64(value));
    } else if (std::abs(value) >= 1 && std::abs(value) < plainBelow) {
        char digits[32];
        const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
        out.append(digits, end.ptr - digits);
    } else
        out.append(QByteArray::number(value, 'g', QLocale::FloatingPointShortest));
}

void RecordLineWriter::key(const char* name) {
    if (!m_first)
        m_bytes.append(',');
    m_first = false;
    m_bytes.append('"');
    m_bytes.append(name); // our keys are plain ASCII
    m_bytes.append("\":", 2);
}

void RecordLineWriter::open(const char* name) {
    key(name);
    m_bytes.append('{');
    m_first = true;
}

void RecordLineWriter::close() {
    m_bytes.append('}');
    m_first = false;
}

RecordLineWriter& RecordLineWriter::string(const char* name, QStringView value) {
    key(name);
    m_bytes.append('"');
    appendEscaped(m_bytes, value);
    m_bytes.append('"');
    return *this;
}

RecordLineWriter& RecordLineWriter::integer(const char* name, qint64 value) {
    key(name);
    appendInteger(m_bytes, value);
    return *this;
}

RecordLineWriter& RecordLineWriter::plain(const char* name, QByteArrayView value) {
    key(name);
    m_bytes.append('"');
    m_bytes.append(value);
    m_bytes.append('"');
    return *this;
}

// Upper-case and without braces, as json::fromUuid writes it.
RecordLineWriter& RecordLineWriter::uuid(const char* name, const QUuid& value) {
    key(name);
    const qsizetype start = m_bytes.size();
    m_bytes.resize(start + 38);
    char* p = m_bytes.data() + start;
    *p++ = '"';
    const auto hex = [&p](quint64 bits, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
            *p++ = "0123456789ABCDEF"[(bits >> shift) & 0xf];
    };
    hex(value.data1, 8);
    *p++ = '-';
    hex(value.data2, 4);
    *p++ = '-';
    hex(value.data3, 4);
    *p++ = '-';
    hex(quint64(value.data4[0]) << 8 | value.data4[1], 4);
    *p++ = '-';
    quint64 node = 0;
    for (int i = 2; i < 8; ++i)
        node = node << 8 | value.data4[i];
    hex(node, 12);
    *p = '"';
    return *this;
}

RecordLineWriter& RecordLineWriter::boolean(const char* name, bool value) {
    key(name);
    m_bytes.append(value ? "true" : "false");
    return *this;
}

RecordLineWriter& RecordLineWriter::date(const char* name, const QDateTime& value) {
    key(name);
    appendNumber(m_bytes, json::fromDate(value));
    return *this;
}

RecordLineWriter& RecordLineWriter::entry(const char* name, const AuditLogEntry& value) {
    open(name);
    string("action", text(value.action));
    if (value.destinationPath)
        string("destinationPath", *value.destinationPath);
    string("fileName", value.fileName);
    string("filePath", value.filePath);
    integer("fileSize", value.fileSize);
    uuid("id", value.id);
    key("projectNames");
    m_bytes.append('[');
    for (qsizetype i = 0; i < value.projectNames.size(); ++i) {
        if (i > 0)
            m_bytes.append(',');
        m_bytes.append('"');
        appendEscaped(m_bytes, value.projectNames[i]);
        m_bytes.append('"');
    }
    m_bytes.append(']');
    date("timestamp", value.timestamp);
    close();
    return *this;
}

RecordLineWriter& RecordLineWriter::stats(const char* name, const AllTimeStats& value) {
    open(name);
    integer("filesDeleted", value.filesDeleted);
    integer("filesMoved", value.filesMoved);
    if (value.firstUsedDate)
        date("firstUsedDate", *value.firstUsedDate);
    integer("projectsImported", value.projectsImported);
    integer("spaceSavedBytes", value.spaceSavedBytes);
    integer("totalMediaFilesAnalyzed", value.totalMediaFilesAnalyzed);
    integer("totalUsedFiles", value.totalUsedFiles);
    close();
    return *this;
}

QByteArray RecordLineWriter::cut() {
    QByteArray piece = std::move(m_bytes);
    m_bytes = QByteArray();
    m_bytes.reserve(1024);
    return piece;
}

QByteArray RecordLineWriter::take() {
    m_bytes.append("}\n", 2);
    return std::move(m_bytes);
}

} // namespace tarnwick
