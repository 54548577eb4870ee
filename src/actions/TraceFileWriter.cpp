#include "actions/TraceFileWriter.h"

#include "platform/AppLog.h"
#include "platform/ByteCountText.h"
#include "platform/PathText.h"

#include <QSaveFile>

#include <algorithm>

namespace tarnwick {

namespace {

const QString doubleRule = QString(67, QChar(0x2550));
const QString singleRule = QString(67, QChar(0x2500));

QString padded(const QString& row, qsizetype width) {
    return row.size() >= width ? row.left(width) : row + QString(width - row.size(), QLatin1Char(' '));
}

} // namespace

TraceFileWriter& TraceFileWriter::shared() {
    static TraceFileWriter instance;
    return instance;
}

TraceFileWriter::TraceFileWriter(std::function<QDateTime()> now) : m_now(std::move(now)) {
    if (!m_now)
        m_now = [] { return QDateTime::currentDateTime(); };
}

QString TraceFileWriter::asciiArt() {
    // Four rows of TARNWICK and four of WAS HERE, drawn with block elements.
    static const QString art = [] {
        const QStringList name{
            QStringLiteral("    ██████  ▄██▄  █████▄ ██▄ ██ ██  ██  ████  ▄████ ██  ▄█"),
            QStringLiteral("      ██   ██  ██ ██  ██ ███▄██ ██  ██   ██  ██     ██▄█▀"),
            QStringLiteral("      ██   ██████ █████▀ ██ ▀██ ██▐▌██   ██  ██     ██▀█▄"),
            QStringLiteral("      ██   ██  ██ ██ ▀█▄ ██  ██ ▀█▀▀█▀  ████  ▀████ ██  ▀█"),
        };
        const QStringList words{
            QStringLiteral("    ██  ██  ▄██▄  ▄███▀   ██  ██ ████ █████▄ ████"),
            QStringLiteral("    ██  ██ ██  ██ ▀█▄▄    ██▄▄██ ██▄  ██  ██ ██▄"),
            QStringLiteral("    ██▐▌██ ██████   ▀▀█▄  ██▀▀██ ██▀  █████▀ ██▀"),
            QStringLiteral("    ▀█▀▀█▀ ██  ██ ▀███▀   ██  ██ ████ ██ ▀█▄ ████"),
        };
        QString text = QStringLiteral("\n");
        for (const QString& row : name)
            text += padded(row, 63) + QLatin1Char('\n');
        for (int i = 0; i < 3; ++i)
            text += QString(63, QLatin1Char(' ')) + QLatin1Char('\n');
        for (qsizetype i = 0; i < words.size(); ++i)
            text += padded(words[i], i + 1 < words.size() ? 63 : 51) + QLatin1Char('\n');
        text += QString(16, QLatin1Char(' ')) + QLatin1Char('\n');
        return text;
    }();
    return art;
}

QString TraceFileWriter::formatTime(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString TraceFileWriter::traceFileName(const QDateTime& time) {
    return QStringLiteral("Tarnwick_Trace_") + formatTime(time).replace(QLatin1Char(':'), QLatin1Char('-')) +
           QStringLiteral(".txt");
}

QString TraceFileWriter::traceText(const QString& directory, const QList<DeletedFileInfo>& files,
                                   const QDateTime& generated) {
    QString text = asciiArt() + QLatin1Char('\n') + QLatin1Char('\n');
    const auto line = [&text](const QString& content) { text += content + QLatin1Char('\n'); };
    line(doubleRule);
    line(QString(22, QLatin1Char(' ')) + QStringLiteral("DELETION TRACE FILE"));
    line(doubleRule);
    line({});
    line(QStringLiteral("Generated: ") + formatTime(generated));
    line(QStringLiteral("Directory: ") + directory);
    line(QStringLiteral("Files Removed: ") + QString::number(files.size()));
    qint64 total = 0;
    QStringList projects;
    for (const DeletedFileInfo& file : files) {
        total += file.size;
        projects += file.projectNames;
    }
    line(QStringLiteral("Total Size: ") + formatFileByteCount(total));
    if (!projects.isEmpty()) {
        std::sort(projects.begin(), projects.end());
        projects.erase(std::unique(projects.begin(), projects.end()), projects.end());
        line(QStringLiteral("Projects: ") + projects.join(QStringLiteral(", ")));
    }
    line({});
    line(singleRule);
    line(QString(25, QLatin1Char(' ')) + QStringLiteral("FILES REMOVED"));
    line(singleRule);
    line({});
    for (qsizetype i = 0; i < files.size(); ++i) {
        const DeletedFileInfo& file = files[i];
        line(QLatin1Char('[') + QString::number(i + 1) + QStringLiteral("] ") + file.fileName);
        line(QStringLiteral("    Size: ") + formatFileByteCount(file.size));
        line(QStringLiteral("    Action: ") + file.action);
        line(QStringLiteral("    Time: ") + formatTime(file.deletedAt));
        if (!file.projectNames.isEmpty())
            line(QStringLiteral("    Projects: ") + file.projectNames.join(QStringLiteral(", ")));
        line(QStringLiteral("    Path: ") + file.path);
        line({});
    }
    line(singleRule);
    line({});
    line(QStringLiteral("This trace file was created by Tarnwick."));
    line(QStringLiteral("https://tarnwick.app"));
    line({});
    line(QStringLiteral("\U0001F3AC Keep your projects clean! \U0001F3AC"));
    return text;
}

std::optional<QString> TraceFileWriter::writeTraceFile(const QString& directory,
                                                       const QList<DeletedFileInfo>& files) {
    if (files.isEmpty())
        return std::nullopt;
    const QString filePath = path::appendingPathComponent(directory, traceFileName(m_now()));
    const QByteArray bytes = traceText(directory, files, m_now()).toUtf8();
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        AppLog::error(QStringLiteral("Failed to write trace file: ") + file.errorString());
        return std::nullopt;
    }
    AppLog::info(QStringLiteral("Wrote trace file: ") + filePath);
    return filePath;
}

int TraceFileWriter::writeTraceFiles(const QList<DeletedFileInfo>& files) {
    QStringList order;
    QHash<QString, QList<DeletedFileInfo>> byFolder;
    for (const DeletedFileInfo& file : files) {
        const QString folder = path::deletingLastPathComponent(file.path);
        auto it = byFolder.find(folder);
        if (it == byFolder.end()) {
            order.append(folder);
            it = byFolder.insert(folder, {});
        }
        it->append(file);
    }
    int written = 0;
    for (const QString& folder : std::as_const(order)) {
        if (writeTraceFile(folder, byFolder.value(folder)))
            ++written;
    }
    return written;
}

} // namespace tarnwick
