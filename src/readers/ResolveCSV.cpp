#include "readers/ResolveCSV.h"

#include "platform/Graphemes.h"
#include "platform/PathText.h"
#include "platform/StrictTextDecoding.h"
#include "platform/TextKey.h"

#include <algorithm>

namespace tarnwick::ResolveCSV {

namespace {

bool isBlank(const QStringList& record) {
    return std::all_of(record.cbegin(), record.cend(),
                       [](const QString& c) { return c.trimmed().isEmpty(); });
}

QString trimmedCell(const QStringList& record, qsizetype index) {
    return index < record.size() ? record[index].trimmed() : QString();
}

// A clip's file name, not a timeline or a nested path: it has a short extension and no separators.
bool isMediaFileName(const QString& name) {
    if (!name.contains(QLatin1Char('.')) || name.contains(QLatin1Char('/')) ||
        name.contains(QLatin1Char('\\')))
        return false;
    const qsizetype characters = graphemes::count(path::pathExtension(name));
    return characters >= 1 && characters <= 6;
}

qsizetype columnOf(const QStringList& header, QLatin1String name) {
    for (qsizetype k = 0; k < header.size(); ++k) {
        if (text::lowered(header[k]) == name)
            return k;
    }
    return -1;
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
    QStringList record;
    QString cell;
    bool quoted = false;
    bool pending = false; // anything read since the last record ended
    auto endRecord = [&] {
        record.append(cell);
        records.append(record);
        record.clear();
        cell.clear();
        pending = false;
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < n && text[i + 1] == u'"') {
                cell.append(c);
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                cell.append(c);
            }
            continue;
        }
        if (c == u'\n') {
            endRecord();
            continue;
        }
        if (c == u'\r') {
            endRecord();
            if (i + 1 < n && text[i + 1] == u'\n')
                ++i;
            continue;
        }
        pending = true;
        if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            record.append(cell);
            cell.clear();
        } else {
            cell.append(c);
        }
    }
    // An unterminated quote takes the rest of the text into its cell.
    if (pending || quoted)
        endRecord();
    return records;
}

ResolveCSVParse parse(QByteArrayView data) {
    const std::optional<QString> text = decodeText(data);
    if (!text)
        throw ResolveCSVError::unreadable();
    QList<QStringList> records = parseRecords(*text);
    records.removeIf(isBlank);
    if (records.isEmpty())
        throw ResolveCSVError::empty();

    ResolveCSVParse result;
    for (const QString& cell : records.first())
        result.headerColumns.append(cell.trimmed());
    result.fileNameColumnIndex = columnOf(result.headerColumns, QLatin1String("file name"));
    result.clipDirectoryColumnIndex = columnOf(result.headerColumns, QLatin1String("clip directory"));
    if (result.fileNameColumnIndex < 0 || result.clipDirectoryColumnIndex < 0)
        throw ResolveCSVError::missingColumns(result.headerColumns);

    for (qsizetype k = 1; k < records.size(); ++k) {
        const qint64 lineNumber = k + 1;
        const QString fileName = trimmedCell(records[k], result.fileNameColumnIndex);
        const QString directory = trimmedCell(records[k], result.clipDirectoryColumnIndex);
        if (fileName.isEmpty())
            result.skipped.append({lineNumber, fileName, ResolveCSVSkipReason::emptyFileName});
        else if (directory.isEmpty())
            result.skipped.append({lineNumber, fileName, ResolveCSVSkipReason::emptyDirectory});
        else if (!isMediaFileName(fileName) || path::containsNul(fileName) || path::containsNul(directory))
            result.skipped.append({lineNumber, fileName, ResolveCSVSkipReason::notMediaFile});
        else
            result.rows.append({fileName, directory});
    }
    return result;
}

std::pair<QList<ResolveCSVRow>, QList<ResolveCSVRow>>
partition(const QList<ResolveCSVRow>& rows, const std::function<bool(const QString&)>& test) {
    std::pair<QList<ResolveCSVRow>, QList<ResolveCSVRow>> result;
    for (const ResolveCSVRow& row : rows)
        (test(row.fullPath()) ? result.first : result.second).append(row);
    return result;
}

} // namespace tarnwick::ResolveCSV
