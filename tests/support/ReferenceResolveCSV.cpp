#include "support/ReferenceResolveCSV.h"

#include "platform/Graphemes.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <algorithm>
#include <functional>

namespace tarnwick::testing {

namespace {

// The records, and whether the last one ends inside an open quote.
QList<QStringList> records(const QString& text, bool& endsInsideQuote) {
    QList<QStringList> records;
    QStringList record;
    QString cell;
    bool quoted = false;
    bool pending = false;
    bool atCellStart = true;
    auto endRecord = [&] {
        record.append(cell);
        records.append(record);
        record.clear();
        cell.clear();
        pending = false;
        atCellStart = true;
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
        if (c == u'"' && atCellStart) {
            quoted = true;
            atCellStart = false;
        } else if (c == u',') {
            record.append(cell);
            cell.clear();
            atCellStart = true;
        } else {
            cell.append(c);
            atCellStart = false;
        }
    }
    endsInsideQuote = quoted;
    if (pending || quoted)
        endRecord();
    return records;
}

bool isMediaFileName(const QString& name) {
    if (!name.contains(QLatin1Char('.')) || name.contains(QLatin1Char('/')) ||
        name.contains(QLatin1Char('\\')))
        return false;
    const qsizetype characters = graphemes::count(path::pathExtension(name));
    return characters >= 1 && characters <= 6;
}

} // namespace

ResolveCSVParse referenceParseResolveCSV(QByteArrayView data) {
    const std::optional<QString> text = ResolveCSV::decodeText(data);
    if (!text)
        throw ResolveCSVError::unreadable();
    bool endsInsideQuote = false;
    QList<QStringList> all = records(*text, endsInsideQuote);
    const auto blank = [](const QStringList& r) {
        return std::all_of(r.cbegin(), r.cend(), [](const QString& c) { return c.trimmed().isEmpty(); });
    };
    ResolveCSVParse result;
    // The open quote is in the last record: numbered after the non-blank records before it.
    if (endsInsideQuote)
        result.unclosedQuoteLine = std::count_if(all.cbegin(), all.cend() - 1, std::not_fn(blank)) + 1;
    all.removeIf(blank);
    if (all.isEmpty())
        throw ResolveCSVError::empty();
    for (const QString& cell : all.first())
        result.headerColumns.append(cell.trimmed());
    const auto columnOf = [&](QLatin1String name) -> qsizetype {
        for (qsizetype k = 0; k < result.headerColumns.size(); ++k) {
            if (text::lowered(result.headerColumns[k]) == name)
                return k;
        }
        return -1;
    };
    result.fileNameColumnIndex = columnOf(QLatin1String("file name"));
    result.clipDirectoryColumnIndex = columnOf(QLatin1String("clip directory"));
    if (result.fileNameColumnIndex < 0 || result.clipDirectoryColumnIndex < 0)
        throw ResolveCSVError::missingColumns(result.headerColumns);
    const auto cell = [](const QStringList& r, qsizetype k) {
        return k < r.size() ? r[k].trimmed() : QString();
    };
    for (qsizetype k = 1; k < all.size(); ++k) {
        const qint64 lineNumber = k + 1;
        const QString fileName = cell(all[k], result.fileNameColumnIndex);
        const QString directory = cell(all[k], result.clipDirectoryColumnIndex);
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

} // namespace tarnwick::testing
