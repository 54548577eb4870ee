#include "stores/RecordLineWriter.h"

#include "platform/JsonForm.h"
#include "stores/AllTimeStats.h"
#include "stores/AuditLogEntry.h"

#include <QLocale>

#include <cmath>

namespace tarnwick {

namespace {

char hexDigit(uint value) {
    return "0123456789abcdef"[value & 0xf];
}

void appendUnicodeEscape(QByteArray& out, char16_t unit) {
    const char escape[] = {'\\',          'u', hexDigit(unit >> 12), hexDigit(unit >> 8), hexDigit(unit >> 4),
                           hexDigit(unit)};
    out.append(escape, sizeof escape);
}

void appendAscii(QByteArray& out, char16_t unit) {
    switch (unit) {
    case '"':
        out.append("\\\"", 2);
        return;
    case '\\':
        out.append("\\\\", 2);
        return;
    case '/': // as the stores write it everywhere
        out.append("\\/", 2);
        return;
    case '\b':
        out.append("\\b", 2);
        return;
    case '\f':
        out.append("\\f", 2);
        return;
    case '\n':
        out.append("\\n", 2);
        return;
    case '\r':
        out.append("\\r", 2);
        return;
    case '\t':
        out.append("\\t", 2);
        return;
    default:
        if (unit < 0x20)
            appendUnicodeEscape(out, unit);
        else
            out.append(char(unit));
    }
}

void appendUtf8(QByteArray& out, char32_t code) {
    if (code < 0x800) {
        out.append(char(0xc0 | (code >> 6)));
    } else if (code < 0x10000) {
        out.append(char(0xe0 | (code >> 12)));
        out.append(char(0x80 | ((code >> 6) & 0x3f)));
    } else {
        out.append(char(0xf0 | (code >> 18)));
        out.append(char(0x80 | ((code >> 12) & 0x3f)));
        out.append(char(0x80 | ((code >> 6) & 0x3f)));
    }
    out.append(char(0x80 | (code & 0x3f)));
}

} // namespace

RecordLineWriter::RecordLineWriter() {
    m_bytes.reserve(256);
    m_bytes.append('{');
}

void RecordLineWriter::appendEscaped(QByteArray& out, QStringView text) {
    const char16_t* src = text.utf16();
    const char16_t* const end = src + text.size();
    while (src != end) {
        const char16_t unit = *src++;
        if (unit < 0x80) {
            appendAscii(out, unit);
        } else if (!QChar::isSurrogate(unit)) {
            appendUtf8(out, unit);
        } else if (QChar::isHighSurrogate(unit) && src != end && QChar::isLowSurrogate(*src)) {
            appendUtf8(out, QChar::surrogateToUcs4(unit, *src++));
        } else {
            appendUnicodeEscape(out, unit);
        }
    }
}

void RecordLineWriter::appendNumber(QByteArray& out, double value) {
    if (!std::isfinite(value)) {
        out.append("null", 4);
        return;
    }
    // Whole numbers that a double holds exactly are kept as integers by the JSON value classes.
    constexpr double exact = 9007199254740992.0; // 2^53
    if (std::abs(value) <= exact && std::trunc(value) == value)
        out.append(QByteArray::number(qint64(value)));
    else
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
    m_bytes.append(QByteArray::number(value));
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
    string("id", json::fromUuid(value.id));
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

QByteArray RecordLineWriter::take() {
    m_bytes.append("}\n", 2);
    return std::move(m_bytes);
}

} // namespace tarnwick
