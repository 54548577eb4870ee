#pragma once

#include "readers/ResolveCSVError.h"
#include "readers/ResolveCSVRow.h"
#include "readers/ResolveCSVSkipReason.h"

#include <QByteArrayView>
#include <QList>
#include <QStringList>

class QIODevice;

#include <functional>
#include <optional>
#include <utility>

namespace tarnwick {

// What a DaVinci Resolve metadata CSV holds: its header, the clip rows and the rows skipped.
struct ResolveCSVParse {
    QStringList headerColumns; // trimmed, in their own letter case
    QList<ResolveCSVRow> rows;
    QList<ResolveCSVSkippedRow> skipped;
    qint64 fileNameColumnIndex = 0;
    qint64 clipDirectoryColumnIndex = 0;
    // The record, numbered as a skipped row's lineNumber, whose quote the text ends inside: that
    // quote took the rest of the text into one cell. 0 when every quote was closed.
    qint64 unclosedQuoteLine = 0;

    bool operator==(const ResolveCSVParse&) const = default;
};

// Reader of DaVinci Resolve metadata CSV exports ("File Name" and "Clip Directory" columns).
namespace ResolveCSV {

// Bytes decoded and read at a time.
inline constexpr qsizetype kChunkBytes = qsizetype(1) << 20;

// Throws ResolveCSVError (unreadable, empty, missingColumns); row problems become skipped rows.
ResolveCSVParse parse(QByteArrayView data, qsizetype chunkBytes = kChunkBytes);
// The same, reading the device from its start piece by piece: memory grows with the rows kept,
// not with the file. The device must be seekable (bytes that are not UTF-8 are read again as
// UTF-16). Also throws Error with the device's text when reading fails.
ResolveCSVParse parse(QIODevice& device, qsizetype chunkBytes = kChunkBytes);
// By byte-order mark (UTF-8, UTF-16BE, UTF-16LE), else UTF-8, else UTF-16LE; none when undecodable.
std::optional<QString> decodeText(QByteArrayView data);
// Comma-separated records with double-quote quoting (a quote opens it only at a cell's start);
// CR, LF and CR LF end records.
QList<QStringList> parseRecords(const QString& text);
// Rows whose full path passes the test, then those that fail it, each in the given order.
std::pair<QList<ResolveCSVRow>, QList<ResolveCSVRow>>
partition(const QList<ResolveCSVRow>& rows, const std::function<bool(const QString&)>& test);

} // namespace ResolveCSV

} // namespace tarnwick
