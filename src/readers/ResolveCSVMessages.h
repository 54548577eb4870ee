#pragma once

#include <QString>

namespace tarnwick {

class ResolveCSVError;

// Counts of one DaVinci Resolve CSV import, filled by the import operation.
struct DaVinciCSVImportSummary {
    QString sourceName;
    qint64 totalDataRows = 0;
    qint64 importedClips = 0;
    qint64 foundOnDisk = 0;
    qint64 missingOnDisk = 0;
    qint64 skippedRows = 0;
    qint64 protectedByOtherProjects = 0;
    qint64 proxiesDetected = 0;
    // Rows whose Clip Directory is relative and names no file next to the CSV: never guessed at.
    qint64 unresolvedRows = 0;
    // The row (header = 1) whose double quote is never closed, so the rest of the file was one
    // cell; 0 when every quote was closed.
    qint64 openQuoteRow = 0;

    bool operator==(const DaVinciCSVImportSummary&) const = default;
};

// The result text shown after an import.
QString daVinciImportSummaryMessage(const DaVinciCSVImportSummary& summary);
// Why an import read only `rowsRead` rows: the quote opened in `openQuoteRow` is never closed.
QString daVinciOpenQuoteMessage(qint64 rowsRead, qint64 openQuoteRow);
// The error text for a file that could not be imported; `fileName` is the file's last path component.
QString daVinciCSVErrorMessage(const ResolveCSVError& error, const QString& fileName);

} // namespace tarnwick
