#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarnwick {

// Leaves a plain-text receipt ("Tarnwick_Trace_<time>.txt") in every folder a removal run took
// files from: what was there, how large, which projects used it, what was done. Failures are
// logged only; the removal is not affected.
class TraceFileWriter {
public:
    struct DeletedFileInfo {
        QString fileName;
        QString path;
        qint64 size = 0;
        QStringList projectNames;
        QDateTime deletedAt;
        QString action; // "Moved to Trash", "Permanently Deleted", "Moved to Folder"
    };

    static TraceFileWriter& shared();
    // `now` is the clock (local time); tests inject one.
    explicit TraceFileWriter(std::function<QDateTime()> now = {});

    // One file per parent folder of the records' paths; the number written.
    int writeTraceFiles(const QList<DeletedFileInfo>& files);
    // The written file's path; nothing when `files` is empty or the write failed.
    std::optional<QString> writeTraceFile(const QString& directory, const QList<DeletedFileInfo>& files);

    // The file name and the text for one folder (no clock reading of their own).
    static QString traceFileName(const QDateTime& time);
    static QString traceText(const QString& directory, const QList<DeletedFileInfo>& files,
                             const QDateTime& generated);
    static QString asciiArt();
    static QString formatTime(const QDateTime& time);

private:
    std::function<QDateTime()> m_now;
};

} // namespace tarnwick
