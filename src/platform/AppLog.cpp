#include "platform/AppLog.h"

#include "platform/Immortal.h"
#include "platform/PathText.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <csignal>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <syslog.h>
#include <unistd.h>

namespace tarnwick {

namespace {

// Debug messages are off unless QT_LOGGING_RULES turns them on ("com.Orlent.*.debug=true").
Q_LOGGING_CATEGORY(parserCategory, "com.Orlent.Parser", QtInfoMsg)
Q_LOGGING_CATEGORY(fileOperationsCategory, "com.Orlent.FileOperations", QtInfoMsg)
Q_LOGGING_CATEGORY(uiCategory, "com.Orlent.UI", QtInfoMsg)
Q_LOGGING_CATEGORY(networkCategory, "com.Orlent.Network", QtInfoMsg)
Q_LOGGING_CATEGORY(generalCategory, "com.Orlent.General", QtInfoMsg)

using Category = AppLog::Category;
using Level = AppLog::Level;

const QLoggingCategory& loggingCategory(Category c) {
    switch (c) {
    case Category::parser:
        return parserCategory();
    case Category::fileOperations:
        return fileOperationsCategory();
    case Category::ui:
        return uiCategory();
    case Category::network:
        return networkCategory();
    case Category::general:
        break;
    }
    return generalCategory();
}

bool accepts(Category c, Level level) {
    const QLoggingCategory& category = loggingCategory(c);
    switch (level) {
    case Level::debug:
        return category.isDebugEnabled();
    case Level::info:
        return category.isInfoEnabled();
    case Level::error:
        break;
    }
    return category.isCriticalEnabled();
}

struct SinkState {
    QMutex mutex;
    std::shared_ptr<const AppLog::Sink> sink;
    QMutex writeMutex;
};

SinkState& sinkState() {
    static Immortal<SinkState> state; // workers abandoned by a watchdog may log while the app quits
    return state.get();
}

void openSyslog() {
    static std::once_flag once;
    std::call_once(once, [] {
        // openlog keeps the pointer: the identity must live for the whole process.
        static const Immortal<QByteArray> ident(AppLog::subsystem().toUtf8());
        ::openlog(ident.get().constData(), LOG_PID, LOG_USER);
    });
}

void writeLine(const QByteArray& line) {
    // One write per line, under a lock, so lines from several threads never interleave.
    QMutexLocker lock(&sinkState().writeMutex);
    // A reader that went away (a closed pipe or journal stream) must not kill the process with
    // SIGPIPE: block it for this thread and swallow the one our write raised.
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const char* data = line.constData();
    qsizetype left = line.size();
    bool brokenPipe = false;
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            brokenPipe = errno == EPIPE;
            break;
        }
        data += n;
        left -= n;
    }
    if (brokenPipe) {
        const timespec noWait{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &noWait) == -1 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

int syslogPriority(Level level) {
    switch (level) {
    case Level::debug:
        return LOG_DEBUG;
    case Level::info:
        return LOG_INFO;
    case Level::error:
        break;
    }
    return LOG_ERR;
}

// printed: whether the helper prints its line to standard output.
void emitMessage(Category category, Level level, const QString& message, bool printed) {
    const QString line =
        printed ? QLatin1Char('[') + AppLog::categoryLabel(category) + QLatin1String("] ") + message
                : QString();
    std::shared_ptr<const AppLog::Sink> sink;
    {
        QMutexLocker lock(&sinkState().mutex);
        sink = sinkState().sink;
    }
    if (sink) {
        (*sink)(AppLog::Record{category, level, message, line});
        return;
    }
    if (accepts(category, level)) {
        openSyslog();
        const QByteArray text = (AppLog::categoryName(category) + QLatin1String(": ") + message).toUtf8();
        ::syslog(syslogPriority(level), "%s", text.constData());
    }
    if (printed)
        writeLine((line + QLatin1Char('\n')).toUtf8());
}

QString fileNameOf(const QString& path) {
    return path::lastPathComponent(path);
}

} // namespace

QString AppLog::subsystem() {
    // Linux has no bundle identifier; the fallback is the only identity.
    return QStringLiteral("com.Orlent");
}

QString AppLog::categoryName(Category c) {
    switch (c) {
    case Category::parser:
        return QStringLiteral("Parser");
    case Category::fileOperations:
        return QStringLiteral("FileOperations");
    case Category::ui:
        return QStringLiteral("UI");
    case Category::network:
        return QStringLiteral("Network");
    case Category::general:
        break;
    }
    return QStringLiteral("General");
}

QString AppLog::categoryLabel(Category c) {
    if (c == Category::fileOperations)
        return QStringLiteral("FileOps");
    return categoryName(c);
}

void AppLog::setSink(Sink sink) {
    QMutexLocker lock(&sinkState().mutex);
    if (sink)
        sinkState().sink = std::make_shared<const Sink>(std::move(sink));
    else
        sinkState().sink.reset();
}

void AppLog::userAction(const QString& text) {
    emitMessage(Category::ui, Level::info, QStringLiteral("👆 User: ") + text, true);
}

void AppLog::info(const QString& text) {
    emitMessage(Category::general, Level::info, QStringLiteral("ℹ️ ") + text, true);
}

void AppLog::warning(const QString& text) {
    emitMessage(Category::general, Level::error, QStringLiteral("⚠️ ") + text, true);
}

void AppLog::error(const QString& text) {
    emitMessage(Category::general, Level::error, QStringLiteral("❌ ") + text, true);
}

void AppLog::debug(const QString& text) {
    emitMessage(Category::general, Level::debug, QStringLiteral("🔧 ") + text, false);
}

void AppLog::fileDeleted(const QString& path, bool toTrash) {
    const QString method = toTrash ? QStringLiteral("to Trash") : QStringLiteral("permanently");
    emitMessage(Category::fileOperations, Level::info,
                QStringLiteral("🗑️ Deleted ") + method + QStringLiteral(": ") + fileNameOf(path), true);
}

void AppLog::deleteFailed(const QString& path, const QString& errorDescription) {
    emitMessage(Category::fileOperations, Level::error,
                QStringLiteral("❌ Delete failed: ") + fileNameOf(path) + QStringLiteral(" - ") +
                    errorDescription,
                true);
}

void AppLog::fileMoved(const QString& from, const QString& to) {
    emitMessage(Category::fileOperations, Level::info,
                QStringLiteral("📦 Moved: ") + fileNameOf(from) + QStringLiteral(" → ") +
                    path::deletingLastPathComponent(to),
                true);
}

void AppLog::moveFailed(const QString& path, const QString& errorDescription) {
    emitMessage(Category::fileOperations, Level::error,
                QStringLiteral("❌ Move failed: ") + fileNameOf(path) + QStringLiteral(" - ") +
                    errorDescription,
                true);
}

void AppLog::scanStarted(qint64 count) {
    emitMessage(Category::fileOperations, Level::info,
                QStringLiteral("🔍 Scanning ") + QString::number(count) + QStringLiteral(" media files..."),
                true);
}

void AppLog::scanComplete(qint64 online, qint64 matching, qint64 offline) {
    emitMessage(Category::fileOperations, Level::info,
                QStringLiteral("✅ Scan complete: ") + QString::number(online) + QStringLiteral(" online, ") +
                    QString::number(matching) + QStringLiteral(" matching, ") + QString::number(offline) +
                    QStringLiteral(" offline"),
                true);
}

void AppLog::detail(const QString& path, const QString& text) {
    emitMessage(Category::fileOperations, Level::debug,
                QStringLiteral("📄 ") + text + QStringLiteral(": ") + fileNameOf(path), false);
}

void AppLog::cloudDriveDetected(const QString& path, const QString& provider) {
    emitMessage(Category::network, Level::info,
                QStringLiteral("☁️ Cloud drive detected: ") + provider + QStringLiteral(" at ") + path,
                true);
}

void AppLog::networkDriveDetected(const QString& path, const QString& fileSystem) {
    emitMessage(Category::network, Level::info,
                QStringLiteral("🌐 Network drive detected: ") + fileSystem + QStringLiteral(" at ") +
                    fileNameOf(path),
                true);
}

void AppLog::networkDriveOffline(const QString& path) {
    emitMessage(Category::network, Level::error, QStringLiteral("⚠️ Network drive offline: ") + path,
                true);
}

void AppLog::parseStarted(const QString& projectName) {
    emitMessage(Category::parser, Level::info, QStringLiteral("📂 Starting parse: ") + projectName, true);
}

void AppLog::parseDetail(const QString& text) {
    emitMessage(Category::parser, Level::debug, QStringLiteral("  → ") + text, true);
}

void AppLog::parserWarning(const QString& text) {
    emitMessage(Category::parser, Level::error, QStringLiteral("⚠️ ") + text, true);
}

void AppLog::parseFailed(const QString& projectName, const QString& errorDescription) {
    emitMessage(Category::parser, Level::error,
                QStringLiteral("❌ Parse failed: ") + projectName + QStringLiteral(" - ") + errorDescription,
                true);
}

void AppLog::parseComplete(const QString& projectName, qint64 files, qint64 used, qint64 unused) {
    emitMessage(Category::parser, Level::info,
                QStringLiteral("✅ Complete: ") + projectName + QStringLiteral(" - ") +
                    QString::number(files) + QStringLiteral(" files, ") + QString::number(used) +
                    QStringLiteral(" used, ") + QString::number(unused) + QStringLiteral(" unused"),
                true);
}

} // namespace tarnwick
