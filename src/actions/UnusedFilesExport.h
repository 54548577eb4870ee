#pragma once

#include "model/MediaFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarnwick {

class ProjectManager;

// What an export came to: the file written, or why none was (no reason: nothing to export).
struct CSVExportResult {
    std::optional<QString> path;
    QString failure;

    explicit operator bool() const { return path.has_value(); }
    const QString& operator*() const { return *path; }
};

// The CSV export of unused media: one row per entry with usage 0 that is not After Effects
// footage, in the stored order of the media list, whatever its status.
class UnusedFilesExport {
public:
    static constexpr const char* header = "Path,FileName,Size,Status,UsageType,StorageType,Projects\n";

    // Writes "Tarnwick_Unused_<seconds since 1970>.csv" into `folder` (the temporary folder when
    // empty) and returns its path; nothing when there is nothing to export, or the write's failure
    // (logged). The caller opens the file and tells the user.
    static CSVExportResult exportUnusedFilesCSV(const ProjectManager& manager, const QString& folder = {});

    static bool isExported(const MediaFile& file);
    // The header and one line per exported entry of `files`.
    static QByteArray csvText(const QList<MediaFile>& files);
    // A value quoted for a cell. A value a spreadsheet would take for a formula ("=", "+", "-",
    // "@", tab, carriage return first) gets a leading apostrophe inside the quotes.
    static QString quoted(const QString& value);
    // "Tarnwick_Unused_" + the time as seconds since 1970 in shortest round-trip form + ".csv".
    static QString fileName(double secondsSince1970);
};

} // namespace tarnwick
