#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QStringView>
#include <QUuid>

namespace tarnwick {

struct AllTimeStats;
struct AuditLogEntry;

// Builds one journal line straight into bytes: a compact JSON object ended by "\n", byte for byte
// what json::encode writes for the same object (stored journals hold that form), without building a
// document per line. The caller gives the keys in sorted order, as those classes keep them.
class RecordLineWriter {
public:
    RecordLineWriter();

    RecordLineWriter& string(const char* key, QStringView value);
    RecordLineWriter& integer(const char* key, qint64 value);
    RecordLineWriter& boolean(const char* key, bool value);
    // A string with nothing to escape (digits and separators), as it is.
    RecordLineWriter& plain(const char* key, QByteArrayView value);
    RecordLineWriter& uuid(const char* key, const QUuid& value);
    RecordLineWriter& date(const char* key, const QDateTime& value);
    RecordLineWriter& entry(const char* key, const AuditLogEntry& value);
    RecordLineWriter& stats(const char* key, const AllTimeStats& value);
    // Closes the object and the line.
    QByteArray take();
    // What is written so far; the object goes on in what is written next (another piece of the
    // same line, joined later).
    QByteArray cut();

    // The string's JSON form without its quotes: quote, backslash, slash and control characters escaped,
    // the rest as UTF-8 (a lone surrogate as its \u escape).
    static void appendEscaped(QByteArray& out, QStringView text);
    // A whole number (within 2^53) as an integer, any other finite number in its shortest form.
    static void appendNumber(QByteArray& out, double value);

private:
    void key(const char* name);
    void open(const char* name);
    void close();

    QByteArray m_bytes;
    bool m_first = true;
};

} // namespace tarnwick
