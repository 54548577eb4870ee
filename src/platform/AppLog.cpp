#include "platform/AppLog.h"

#include "platform/Immortal.h"
#include "platform/PathText.h"
#include "platform/ThreadNames.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <syslog.h>
#include <thread>
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
    // Read without the lock: a scan of a million paths logs from every worker at once.
    std::atomic_bool installed{false};
};

SinkState& sinkState() {
    static Immortal<SinkState> state; // workers abandoned by a watchdog may log while the app quits
    return state.get();
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

// One message on its way out: the text for the system log (when its level is on) and the printed
// line (when the helper prints one).
struct Pending {
    Category category;
    Level level;
    QString message;
    bool toSyslog = false;
    bool printed = false;
};

// Writes the messages on a thread of its own, in the order they were logged, in batches: the
// standard output gets every waiting line in one write, the system log one message each over the
// connection it keeps. A caller (the GUI thread restoring 50,000 files, say) only queues its text.
class Writer {
public:
    static Writer& writer();

    void post(Pending pending) {
        std::unique_lock lock(m_mutex);
        startOnce();
        // A reader that stopped reading (a stuck terminal) holds the queue at this size rather
        // than let it grow without end: callers then wait for the writer, as they did before.
        m_space.wait(lock, [&] { return m_queuedChars < maxQueuedChars; });
        m_queuedChars += pending.message.size() + 32;
        m_queue.push_back(std::move(pending));
        ++m_posted;
        if (m_idle)
            m_work.notify_one();
    }

    // Waits until everything posted before the call is out.
    void flush() {
        std::unique_lock lock(m_mutex);
        const quint64 target = m_posted;
        m_done.wait(lock, [&] { return m_written >= target; });
    }

    // At exit: what is still queued goes out, unless the output no longer takes it.
    void flushAtExit() {
        std::unique_lock lock(m_mutex);
        const quint64 target = m_posted;
        m_done.wait_for(lock, std::chrono::seconds(2), [&] { return m_written >= target; });
    }

private:
    static constexpr qsizetype maxQueuedChars = 16 << 20;

    void startOnce() {
        if (m_started)
            return;
        m_started = true;
        std::thread([this] { // lives as long as the process
            nameCurrentThread("AppLogWriter");
            run();
        })
            .detach();
        std::atexit([] { writer().flushAtExit(); });
    }

    void run() {
        // A reader that went away (a closed pipe or journal stream) must not kill the process with
        // SIGPIPE: it stays blocked on this thread, and the one a write raised is swallowed.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        std::deque<Pending> batch;
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                m_idle = true;
                m_work.wait(lock, [&] { return !m_queue.empty(); });
                m_idle = false;
                batch.swap(m_queue);
                m_queuedChars = 0;
            }
            m_space.notify_all();
            write(batch);
            // Freed before a flush returns: a test that forks right after it finds this thread
            // holding no lock of the allocator.
            const size_t written = batch.size();
            batch.clear();
            {
                std::lock_guard lock(m_mutex);
                m_written += written;
            }
            m_done.notify_all();
        }
    }

    static void write(const std::deque<Pending>& batch) {
        // The system logger may be missing (no /dev/log): then syslog() would open, connect and
        // close a socket for every message. Asked once per batch instead.
        const bool logger = ::access("/dev/log", W_OK) == 0;
        QByteArray lines;
        for (const Pending& p : batch) {
            if (p.toSyslog && logger) {
                openSyslog();
                const QByteArray text =
                    (AppLog::categoryName(p.category) + QLatin1String(": ") + p.message).toUtf8();
                ::syslog(syslogPriority(p.level), "%s", text.constData());
            }
            if (p.printed) {
                lines +=
                    (QLatin1Char('[') + AppLog::categoryLabel(p.category) + QLatin1String("] ") + p.message)
                        .toUtf8();
                lines += '\n';
            }
        }
        writeOut(lines);
    }

    static void openSyslog() {
        static std::once_flag once;
        std::call_once(once, [] {
            // openlog keeps the pointer: the identity must live for the whole process. LOG_NDELAY
            // connects now, and the connection is kept for every later message.
            static const Immortal<QByteArray> ident(AppLog::subsystem().toUtf8());
            ::openlog(ident.get().constData(), LOG_PID | LOG_NDELAY, LOG_USER);
        });
    }

    static void writeOut(const QByteArray& bytes) {
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
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
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            const timespec noWait{0, 0};
            while (sigtimedwait(&pipeSignal, nullptr, &noWait) == -1 && errno == EINTR) {
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_space;
    std::condition_variable m_done;
    std::deque<Pending> m_queue;
    qsizetype m_queuedChars = 0;
    quint64 m_posted = 0;
    quint64 m_written = 0;
    bool m_started = false;
    bool m_idle = false;
};

Writer& Writer::writer() {
    static Immortal<Writer> instance; // messages may come from workers while the app quits
    return instance.get();
}

Writer& writer() {
    return Writer::writer();
}

// printed: whether the helper prints its line to standard output.
void emitMessage(Category category, Level level, const QString& message, bool printed) {
    std::shared_ptr<const AppLog::Sink> sink;
    if (sinkState().installed.load(std::memory_order_acquire)) {
        QMutexLocker lock(&sinkState().mutex);
        sink = sinkState().sink;
    }
    if (sink) {
        const QString line =
            printed ? QLatin1Char('[') + AppLog::categoryLabel(category) + QLatin1String("] ") + message
                    : QString();
        (*sink)(AppLog::Record{category, level, message, line});
        return;
    }
    const bool toSyslog = accepts(category, level);
    if (toSyslog || printed)
        writer().post(Pending{category, level, message, toSyslog, printed});
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

void AppLog::flush() {
    writer().flush();
}

void AppLog::setSink(Sink sink) {
    QMutexLocker lock(&sinkState().mutex);
    if (sink)
        sinkState().sink = std::make_shared<const Sink>(std::move(sink));
    else
        sinkState().sink.reset();
    sinkState().installed.store(sinkState().sink != nullptr, std::memory_order_release);
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
    if (!sinkState().installed.load(std::memory_order_acquire) && !accepts(Category::general, Level::debug))
        return; // nobody takes it: not even the line is made
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

void AppLog::trashFailed(const QString& path, const QString& errorDescription) {
    emitMessage(Category::fileOperations, Level::error,
                QStringLiteral("❌ Move to Trash failed: ") + fileNameOf(path) + QStringLiteral(" - ") +
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
