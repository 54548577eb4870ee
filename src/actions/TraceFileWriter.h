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
// logged only; the removal is not affected. Runs write theirs through the records journal
// (RecordMerge), so that each is written once even when the run is killed.
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
    // The written file's path; nothing when `files` is empty or the write failed. An existing
    // trace file is never replaced: the name takes a counter instead.
    std::optional<QString> writeTraceFile(const QString& directory, const QList<DeletedFileInfo>& files);

    // `noSpace`: failed for a full disk, worth another try once there is room.
    enum class NamedWrite { written, alreadyThere, taken, failed, noSpace };
    // Writes the text for `generated` at exactly `name`, created exclusively. A file of that name that
    // holds this text, or its beginning (a write a kill cut short), is this one and is completed;
    // any other file is "taken" and left alone.
    NamedWrite writeTraceFileNamed(const QString& directory, const QString& name,
                                   const QList<DeletedFileInfo>& files, const QDateTime& generated);
    QDateTime now() const { return m_now(); }

    // The file name and the text for one folder (no clock reading of their own). `counter` 2 and up
    // names a second trace file of the same second: "Tarnwick_Trace_<time>_2.txt".
    static QString traceFileName(const QDateTime& time, int counter = 1);
    // The first of those names not yet taken in `directory`.
    static QString freeTraceFileName(const QString& directory, const QDateTime& time);
    static QString traceText(const QString& directory, const QList<DeletedFileInfo>& files,
                             const QDateTime& generated);
    static QString asciiArt();
    static QString formatTime(const QDateTime& time);

private:
    std::function<QDateTime()> m_now;
};

} // namespace tarnwick
