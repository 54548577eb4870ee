#include "actions/UnusedFilesExport.h"

#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/AtomicWrite.h"

#include <QDir>
#include <QLocale>

#include <algorithm>
#include <chrono>

namespace tarnwick {

namespace {
// Microseconds, so two exports in one run get two names.
double secondsSince1970() {
    using namespace std::chrono;
    const auto micros = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return double(micros) / 1e6;
}
} // namespace

bool UnusedFilesExport::isExported(const MediaFile& file) {
    return file.usageCount == 0 && !file.isAEFootage;
}

QString UnusedFilesExport::quoted(const QString& value) {
    QString escaped = value;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    // Spreadsheets evaluate these as formulas even inside quotes; the apostrophe makes them text.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!escaped.isEmpty() && formulaStarts.contains(escaped.front()))
        escaped.prepend(QLatin1Char('\''));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QByteArray UnusedFilesExport::csvText(const QList<MediaFile>& files) {
    QString out = QLatin1String(header);
    for (const MediaFile& file : files) {
        if (!isExported(file))
            continue;
        out += quoted(file.path) + QLatin1Char(',') + quoted(file.fileName()) + QLatin1Char(',') +
               QString::number(file.size) + QLatin1Char(',') + quoted(tarnwick::text(file.status)) +
               QLatin1Char(',') + quoted(tarnwick::text(file.usageType)) + QLatin1Char(',') +
               quoted(tarnwick::text(file.storageType)) + QLatin1Char(',') +
               quoted(file.projectNames.join(QLatin1String("; "))) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QString UnusedFilesExport::fileName(double seconds) {
    QString number = QString::number(seconds, 'f', QLocale::FloatingPointShortest);
    if (!number.contains(QLatin1Char('.')))
        number += QLatin1String(".0");
    return QLatin1String("Tarnwick_Unused_") + number + QLatin1String(".csv");
}

CSVExportResult UnusedFilesExport::exportUnusedFilesCSV(const ProjectManager& manager,
                                                        const QString& folder) {
    const QList<MediaFile>& files = manager.mediaFiles();
    const qsizetype rows = std::count_if(files.cbegin(), files.cend(), isExported);
    if (rows == 0)
        return {};
    AppLog::userAction(QStringLiteral("Exporting %1 unused files to CSV").arg(rows));
    const QByteArray bytes = csvText(files);
    const QString path =
        QDir(folder.isEmpty() ? QDir::tempPath() : folder).filePath(fileName(secondsSince1970()));
    // No partial file, even on a full disk or after a power cut.
    if (const int error = writeAtomically(path, {QByteArrayView(bytes)}); error != 0) {
        const QString reason = qt_error_string(error);
        AppLog::error(QStringLiteral("Failed to export CSV: ") + reason);
        return {std::nullopt, reason};
    }
    AppLog::info(QStringLiteral("Exported CSV to ") + path);
    return {path, {}};
}

} // namespace tarnwick
