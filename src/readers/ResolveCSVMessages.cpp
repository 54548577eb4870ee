#include "readers/ResolveCSVMessages.h"

#include "readers/ResolveCSVError.h"

#include <QStringList>

namespace tarnwick {

namespace {

QString plural(qint64 count, const QString& word) {
    return QString::number(count) + QLatin1Char(' ') + word + (count == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

QString daVinciImportSummaryMessage(const DaVinciCSVImportSummary& s) {
    QStringList lines;
    lines << QStringLiteral("Imported ") + plural(s.importedClips, QStringLiteral("clip")) +
                 QStringLiteral(" from ") + s.sourceName + QLatin1Char('.');
    lines << QString::number(s.foundOnDisk) + QStringLiteral(" found on disk, ") +
                 QString::number(s.missingOnDisk) + QStringLiteral(" missing.");
    if (s.protectedByOtherProjects >= 1) {
        lines << QString::number(s.protectedByOtherProjects) +
                     QStringLiteral(" kept safe — also used in a loaded Premiere project.");
    }
    if (s.proxiesDetected >= 1) {
        lines << QString::number(s.proxiesDetected) +
                     QStringLiteral(
                         " proxy file(s) detected — these will move or delete together with their clips.");
    }
    if (s.skippedRows >= 1) {
        lines << plural(s.skippedRows, QStringLiteral("non-media row")) +
                     QStringLiteral(" skipped (e.g. the timeline \"stringout\" row).");
    }
    if (s.unresolvedRows >= 1) {
        lines << plural(s.unresolvedRows, QStringLiteral("row")) +
                     QStringLiteral(" skipped — a relative Clip Directory names no file next to the CSV.");
    }
    if (s.openQuoteRow >= 1)
        lines << daVinciOpenQuoteMessage(s.totalDataRows, s.openQuoteRow);
    lines << QString();
    lines << QStringLiteral(
        "These clips are labeled \"DaVinci CSV\" because DaVinci Resolve flagged them as unused "
        "(Usage = 0). Tarnwick has NOT analyzed any timeline itself — verifying they're truly "
        "unused before deleting is your call.");
    return lines.join(QLatin1Char('\n'));
}

QString daVinciOpenQuoteMessage(qint64 rowsRead, qint64 openQuoteRow) {
    return QStringLiteral("Read ") + plural(rowsRead, QStringLiteral("row")) +
           QStringLiteral(", then stopped: a double quote in row ") + QString::number(openQuoteRow) +
           QStringLiteral(" is never closed, so the rest of the file was read as one cell and any clips "
                          "listed after that row are missing. A name that starts with a double quote does "
                          "this: rename that clip in DaVinci Resolve, then export and import the CSV again.");
}

QString daVinciCSVErrorMessage(const ResolveCSVError& error, const QString& fileName) {
    switch (error.kind()) {
    case ResolveCSVError::Kind::unreadable:
        return fileName +
               QStringLiteral(" couldn't be read as text. Export it from DaVinci Resolve as a metadata "
                              "CSV (File ▸ Export ▸ Metadata).");
    case ResolveCSVError::Kind::empty:
        return fileName + QStringLiteral(" is empty.");
    case ResolveCSVError::Kind::missingColumns:
        return fileName +
               QStringLiteral(
                   " is missing the required \"File Name\" and \"Clip Directory\" columns. Found: ") +
               error.found().join(QStringLiteral(", ")) + QLatin1Char('.');
    }
    return {};
}

} // namespace tarnwick
