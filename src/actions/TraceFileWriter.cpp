#include "actions/TraceFileWriter.h"

#include "platform/FileMoveSupport.h"
#include "platform/FullWrite.h"

#include "platform/AppLog.h"
#include "platform/ByteCountText.h"
#include "platform/PathText.h"
#include "platform/RegularFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

QString TraceFileWriter::traceFileName(const QDateTime& time, int counter) {
    return QStringLiteral("Tarnwick_Trace_") + formatTime(time).replace(QLatin1Char(':'), QLatin1Char('-')) +
           (counter > 1 ? QLatin1Char('_') + QString::number(counter) : QString()) + QStringLiteral(".txt");
}

QString TraceFileWriter::freeTraceFileName(const QString& directory, const QDateTime& time) {
    for (int counter = 1;; ++counter) {
        const QString name = traceFileName(time, counter);
        struct ::stat st {};
        const QByteArray path = QFile::encodeName(path::appendingPathComponent(directory, name));
        // Not there (or not to be looked at: the exclusive create then says why).
        if (::lstat(path.constData(), &st) != 0 || counter >= 10000)
            return name;
    }
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

TraceFileWriter::NamedWrite TraceFileWriter::writeTraceFileNamed(const QString& directory,
                                                                 const QString& name,
                                                                 const QList<DeletedFileInfo>& files,
                                                                 const QDateTime& generated) {
    const QString filePath = path::appendingPathComponent(directory, name);
    const QByteArray native = QFile::encodeName(filePath);
    const QByteArray bytes = traceText(directory, files, generated).toUtf8();
    const auto failed = [&](int code) {
        AppLog::error(QStringLiteral("Failed to write trace file: ") + qt_error_string(code));
        return code == ENOSPC || code == EDQUOT ? NamedWrite::noSpace : NamedWrite::failed;
    };
    qsizetype from = 0;
    int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno != EEXIST)
            return failed(errno);
        RegularFile existing(filePath);
        const std::optional<QByteArray> held = existing.readAll(bytes.size());
        if (!held || !bytes.startsWith(*held))
            return NamedWrite::taken;
        if (held->size() == bytes.size())
            return NamedWrite::alreadyThere;
        from = held->size();
        fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return failed(errno);
    }
    // Durable, with its name, before the run reports: a power cut must not take it back.
    const bool written =
        writeFully(fd, bytes.constData() + from, bytes.size() - from) && ::fdatasync(fd) == 0;
    const int code = errno;
    if (::close(fd) != 0 && written)
        return failed(errno);
    if (!written)
        return failed(code);
    if (const int error = filemove::syncFolder(QFile::encodeName(directory)); error != 0)
        return failed(error);
    AppLog::info(QStringLiteral("Wrote trace file: ") + filePath);
    return NamedWrite::written;
}

std::optional<QString> TraceFileWriter::writeTraceFile(const QString& directory,
                                                       const QList<DeletedFileInfo>& files) {
    if (files.isEmpty())
        return std::nullopt;
    const QDateTime generated = m_now();
    // Another run of the same second (or anything else) may take a name between the look and the write.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = freeTraceFileName(directory, generated);
        switch (writeTraceFileNamed(directory, name, files, generated)) {
        case NamedWrite::written:
        case NamedWrite::alreadyThere:
            return path::appendingPathComponent(directory, name);
        case NamedWrite::failed:
        case NamedWrite::noSpace:
            return std::nullopt;
        case NamedWrite::taken:
            break;
        }
    }
    return std::nullopt;
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
