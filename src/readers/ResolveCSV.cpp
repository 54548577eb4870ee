#include "readers/ResolveCSV.h"

#include "platform/Error.h"
#include "platform/Graphemes.h"
#include "platform/PathText.h"
#include "platform/StrictTextDecoding.h"
#include "platform/TextKey.h"
#include "readers/ResolveCSVScanner.h"

#include <QIODevice>
#include <QSet>

#include <algorithm>
#include <cstring>

namespace tarnwick::ResolveCSV {

namespace {

// A clip's file name, not a timeline or a nested path: it has a short extension and no separators.
bool isMediaFileName(const QString& name) {
    // One pass over the name: it is read for every row of a CSV of a million clips.
    qsizetype dot = -1;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c == u'/' || c == u'\\')
            return false;
        if (c == u'.')
            dot = i;
    }
    // The extension as path::pathExtension takes it: after a last dot that neither starts nor ends the name.
    if (dot <= 0 || dot == name.size() - 1)
        return false;
    const qsizetype characters = graphemes::count(QStringView(name).sliced(dot + 1));
    return characters >= 1 && characters <= 6;
}

qsizetype columnOf(const QStringList& header, QLatin1String name) {
    for (qsizetype k = 0; k < header.size(); ++k) {
        if (text::lowered(header[k]) == name)
            return k;
    }
    return -1;
}

// The input's bytes in pieces, from the start again when asked.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual void rewind() = 0;
    // The next piece: the last `keep` bytes of the previous one followed by new bytes (empty at
    // the end). Valid until the next call.
    virtual QByteArrayView next(qsizetype keep) = 0;
    // No bytes follow the last piece.
    virtual bool atEnd() const = 0;
    // The input's size, 0 when not known.
    virtual qint64 totalBytes() const = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(QByteArrayView data, qsizetype chunk) : m_data(data), m_chunk(chunk) {}
    void rewind() override { m_end = 0; }
    QByteArrayView next(qsizetype keep) override {
        const qsizetype start = m_end - keep;
        m_end = std::min(m_data.size(), m_end + m_chunk);
        return m_data.sliced(start, m_end - start);
    }
    bool atEnd() const override { return m_end == m_data.size(); }
    qint64 totalBytes() const override { return m_data.size(); }

private:
    QByteArrayView m_data;
    qsizetype m_chunk;
    qsizetype m_end = 0;
};

class DeviceSource : public ByteSource {
public:
    DeviceSource(QIODevice& device, qsizetype chunk) : m_device(device), m_chunk(chunk) {}
    void rewind() override {
        if (!m_device.seek(0))
            throw Error(m_device.errorString());
        m_size = 0;
        m_atEnd = false;
    }
    QByteArrayView next(qsizetype keep) override {
        if (m_buffer.size() < keep + m_chunk)
            m_buffer.resize(keep + m_chunk);
        std::memmove(m_buffer.data(), m_buffer.constData() + m_size - keep, size_t(keep));
        m_size = keep;
        while (!m_atEnd && m_size < keep + m_chunk) {
            const qint64 got = m_device.read(m_buffer.data() + m_size, keep + m_chunk - m_size);
            if (got < 0)
                throw Error(m_device.errorString());
            m_atEnd = got == 0;
            m_size += got;
        }
        return QByteArrayView(m_buffer.constData(), m_size);
    }
    bool atEnd() const override { return m_atEnd; }
    qint64 totalBytes() const override { return m_device.isSequential() ? 0 : m_device.size(); }

private:
    QIODevice& m_device;
    qsizetype m_chunk;
    QByteArray m_buffer;
    qsizetype m_size = 0;
    bool m_atEnd = false;
};

enum class Encoding { utf8, utf16le, utf16be };

// Decodes the start of `bytes` into `text`: everything when `last`, else up to the last whole
// character (the rest comes again at the start of the next piece). Returns the bytes used, or -1
// when they are not valid in the encoding. Decoding piece by piece accepts and yields exactly
// what decoding the whole would.
qsizetype decodePiece(Encoding encoding, QByteArrayView bytes, bool last, QString& text) {
    const auto* d = reinterpret_cast<const uchar*>(bytes.data());
    qsizetype used = bytes.size();
    if (encoding == Encoding::utf8) {
        if (!last) {
            // Back to the lead byte of the last sequence when that sequence is not complete.
            qsizetype lead = used;
            while (lead > 0 && lead > used - 4 && (d[lead - 1] & 0xC0) == 0x80)
                --lead;
            if (lead > 0 && d[lead - 1] >= 0xC0) {
                const qsizetype length = d[lead - 1] >= 0xF0 ? 4 : d[lead - 1] >= 0xE0 ? 3 : 2;
                if (lead - 1 + length > used)
                    used = lead - 1;
            }
        }
        std::optional<QString> decoded = strict::decodeUtf8(bytes.first(used));
        if (!decoded)
            return -1;
        text = std::move(*decoded);
        return used;
    }
    const bool bigEndian = encoding == Encoding::utf16be;
    if (last && used % 2 != 0)
        return -1;
    used -= used % 2;
    if (!last && used >= 2) {
        const char16_t unit =
            bigEndian ? char16_t(d[used - 2] << 8 | d[used - 1]) : char16_t(d[used - 1] << 8 | d[used - 2]);
        if (QChar::isHighSurrogate(unit))
            used -= 2; // its pair comes with the next piece
    }
    std::optional<QString> decoded = strict::decodeUtf16(bytes.first(used), bigEndian);
    if (!decoded)
        return -1;
    text = std::move(*decoded);
    return used;
}

// A kept cell without its surrounding white space. A large one gives up its own room rather than
// being copied, and what it reserved beyond its text.
QString takeTrimmed(QString& cell) {
    if (cell.size() < 4096)
        return QStringView(cell).trimmed().toString();
    QString taken = std::move(cell).trimmed();
    if (taken.capacity() > taken.size() + taken.size() / 4)
        taken.squeeze();
    return taken;
}

// The parse of records as the scanner ends them: the header, then a row or a skipped row for each
// further non-blank record. A header without the two columns stops it; the error waits until the
// whole input proved decodable, since otherwise it is read again in another encoding.
class RowCollector {
public:
    explicit RowCollector(qint64 totalBytes)
        : m_scanner([this] { recordEnded(); }), m_totalBytes(totalBytes) {
        m_scanner.setLongestCell(totalBytes);
    }

    // `bytesThrough`: the input's bytes read up to the end of `text`.
    void feed(QStringView text, qint64 bytesThrough) {
        if (m_missingColumns)
            return;
        m_scanner.feed(text);
        // Room for the rows the whole input will likely give, once, from the first thousand:
        // the list is not copied again and again as it grows.
        if (!m_reserved && m_result.rows.size() >= 1024 && bytesThrough > 0 && m_totalBytes > bytesThrough) {
            m_reserved = true;
            m_result.rows.reserve(
                qsizetype(double(m_result.rows.size()) * double(m_totalBytes) / double(bytesThrough) * 1.05));
        }
    }
    ResolveCSVParse finish() {
        if (!m_missingColumns)
            m_scanner.finish();
        if (m_missingColumns)
            throw ResolveCSVError::missingColumns(m_result.headerColumns);
        if (m_records == 0)
            throw ResolveCSVError::empty();
        return std::move(m_result);
    }

private:
    void recordEnded() {
        if (m_missingColumns)
            return;
        if (m_scanner.endsInsideQuote())
            m_result.unclosedQuoteLine = m_records + 1;
        if (!m_scanner.hasContent())
            return;
        ++m_records;
        if (m_records == 1) {
            for (const QString& cell : m_scanner.cells())
                m_result.headerColumns.append(cell.trimmed());
            m_result.fileNameColumnIndex = columnOf(m_result.headerColumns, QLatin1String("file name"));
            m_result.clipDirectoryColumnIndex =
                columnOf(m_result.headerColumns, QLatin1String("clip directory"));
            m_missingColumns = m_result.fileNameColumnIndex < 0 || m_result.clipDirectoryColumnIndex < 0;
            if (!m_missingColumns)
                m_scanner.keepCells(m_result.fileNameColumnIndex, m_result.clipDirectoryColumnIndex);
            return;
        }
        const qint64 lineNumber = m_records;
        QString fileName = takeTrimmed(m_scanner.kept(0));
        if (fileName.isEmpty()) {
            m_result.skipped.append({lineNumber, fileName, ResolveCSVSkipReason::emptyFileName});
            return;
        }
        const QString directory = takeTrimmed(m_scanner.kept(1));
        if (directory.isEmpty())
            m_result.skipped.append({lineNumber, std::move(fileName), ResolveCSVSkipReason::emptyDirectory});
        else if (!isMediaFileName(fileName) || path::containsNul(fileName) || path::containsNul(directory))
            m_result.skipped.append({lineNumber, std::move(fileName), ResolveCSVSkipReason::notMediaFile});
        else
            m_result.rows.append({std::move(fileName), shared(directory)});
    }

    // Rows of one folder share its text.
    QString shared(const QString& directory) {
        if (directory == m_lastDirectory)
            return m_lastDirectory;
        if (const auto known = m_directories.constFind(directory); known != m_directories.cend())
            m_lastDirectory = *known;
        else if (m_directories.size() < 65536)
            m_lastDirectory = *m_directories.insert(directory);
        else
            m_lastDirectory = directory;
        return m_lastDirectory;
    }

    ResolveCSVScanner m_scanner;
    qint64 m_totalBytes;
    bool m_reserved = false;
    ResolveCSVParse m_result;
    qint64 m_records = 0; // non-blank ones, the header included
    bool m_missingColumns = false;
    QString m_lastDirectory;
    QSet<QString> m_directories;
};

// The whole input read in one encoding after `skip` bytes; nullopt when it is not valid in it.
std::optional<ResolveCSVParse> readAs(ByteSource& source, Encoding encoding, qsizetype skip) {
    source.rewind();
    RowCollector rows(source.totalBytes());
    qsizetype keep = 0;
    qint64 through = skip;
    QString text;
    for (bool first = true;; first = false) {
        QByteArrayView bytes = source.next(keep);
        if (first)
            bytes = bytes.sliced(skip);
        const bool last = source.atEnd();
        const qsizetype used = decodePiece(encoding, bytes, last, text);
        if (used < 0)
            return std::nullopt;
        through += used;
        rows.feed(text, through);
        if (last)
            break;
        keep = bytes.size() - used;
    }
    return rows.finish();
}

ResolveCSVParse parseFrom(ByteSource& source) {
    source.rewind();
    const QByteArrayView head = source.next(0);
    const auto* d = reinterpret_cast<const uchar*>(head.data());
    // A byte-order mark decides the encoding for good: no fallback when the rest fails.
    std::optional<ResolveCSVParse> result;
    if (head.size() >= 2 && d[0] == 0xFE && d[1] == 0xFF)
        result = readAs(source, Encoding::utf16be, 2);
    else if (head.size() >= 2 && d[0] == 0xFF && d[1] == 0xFE)
        result = readAs(source, Encoding::utf16le, 2);
    else if (head.size() >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF)
        result = readAs(source, Encoding::utf8, 3);
    else if (!(result = readAs(source, Encoding::utf8, 0)))
        result = readAs(source, Encoding::utf16le, 0);
    if (!result)
        throw ResolveCSVError::unreadable();
    return std::move(*result);
}

} // namespace

std::optional<QString> decodeText(QByteArrayView data) {
    if (data.isEmpty())
        return QString();
    const auto* d = reinterpret_cast<const uchar*>(data.data());
    // A byte-order mark decides the encoding for good: no fallback when the rest fails.
    if (data.size() >= 2 && d[0] == 0xFE && d[1] == 0xFF)
        return strict::decodeUtf16(data.sliced(2), true);
    if (data.size() >= 2 && d[0] == 0xFF && d[1] == 0xFE)
        return strict::decodeUtf16(data.sliced(2), false);
    if (data.size() >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF)
        return strict::decodeUtf8(data.sliced(3));
    if (std::optional<QString> utf8 = strict::decodeUtf8(data))
        return utf8;
    return strict::decodeUtf16(data, false);
}

QList<QStringList> parseRecords(const QString& text) {
    QList<QStringList> records;
    ResolveCSVScanner scanner([&] { records.append(scanner.cells()); });
    scanner.feed(text);
    scanner.finish();
    return records;
}

ResolveCSVParse parse(QByteArrayView data, qsizetype chunkBytes) {
    MemorySource source(data, std::max<qsizetype>(chunkBytes, 4));
    return parseFrom(source);
}

ResolveCSVParse parse(QIODevice& device, qsizetype chunkBytes) {
    DeviceSource source(device, std::max<qsizetype>(chunkBytes, 4));
    return parseFrom(source);
}

std::pair<QList<ResolveCSVRow>, QList<ResolveCSVRow>>
partition(const QList<ResolveCSVRow>& rows, const std::function<bool(const QString&)>& test) {
    std::pair<QList<ResolveCSVRow>, QList<ResolveCSVRow>> result;
    for (const ResolveCSVRow& row : rows)
        (test(row.fullPath()) ? result.first : result.second).append(row);
    return result;
}

} // namespace tarnwick::ResolveCSV
