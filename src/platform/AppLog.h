#pragma once

#include <QString>

#include <functional>

namespace tarnwick {

// The one place through which the system writes diagnostics: syslog (the journal) under the
// subsystem "com.Orlent" plus one line on standard output. The helpers only queue their message:
// a thread of its own writes the queue in order, the lines in batches.
class AppLog {
public:
    enum class Category { parser, fileOperations, ui, network, general };
    enum class Level { info, debug, error };

    static QString subsystem();
    static QString categoryName(Category c);  // "Parser", "FileOperations", ...
    static QString categoryLabel(Category c); // printed label: "FileOps" for file operations

    static void userAction(const QString& text);
    static void info(const QString& text);
    static void warning(const QString& text);
    static void error(const QString& text);
    static void debug(const QString& text);
    static void fileDeleted(const QString& path, bool toTrash);
    static void deleteFailed(const QString& path, const QString& errorDescription);
    static void trashFailed(const QString& path, const QString& errorDescription);
    static void fileMoved(const QString& from, const QString& to);
    static void moveFailed(const QString& path, const QString& errorDescription);
    static void scanStarted(qint64 count);
    static void scanComplete(qint64 online, qint64 matching, qint64 offline);
    static void detail(const QString& path, const QString& text);
    static void cloudDriveDetected(const QString& path, const QString& provider);
    static void networkDriveDetected(const QString& path, const QString& fileSystem);
    static void networkDriveOffline(const QString& path);
    static void parseStarted(const QString& projectName);
    static void parseDetail(const QString& text);
    static void parserWarning(const QString& text);
    static void parseFailed(const QString& projectName, const QString& errorDescription);
    static void parseComplete(const QString& projectName, qint64 files, qint64 used, qint64 unused);

    // Tests capture what is logged and printed. The sink sees every message (printed or not);
    // `printed` is the line that went to standard output, empty for debug-only helpers.
    struct Record {
        Category category;
        Level level;
        QString message;
        QString printed;
    };
    using Sink = std::function<void(const Record&)>;
    static void setSink(Sink sink); // empty sink restores syslog + stdout
    // Waits until every message logged so far is written (tests that read the output; exit does it).
    static void flush();
};

} // namespace tarnwick
