#include "analysis/DuplicateDetector.h"

#include "platform/AppLog.h"

#include <vector>

namespace tarnwick {

namespace {

bool takesPart(const MediaFile& file) {
    const MediaFileStatus s = file.status;
    return (s == MediaFileStatus::online || s == MediaFileStatus::matching ||
            s == MediaFileStatus::transcoded) &&
           file.size >= 1;
}

bool isRemote(StorageType type) {
    return type != StorageType::local && type != StorageType::unknown;
}

QString readPath(const MediaFile& file) {
    return file.matchedPath ? *file.matchedPath : file.path;
}

// The detector's log lines, written at once or held for later.
class LogLines {
public:
    explicit LogLines(bool hold) : m_hold(hold) {}
    void info(const QString& text) {
        add([text] { AppLog::info(text); });
    }
    void warning(const QString& text) {
        add([text] { AppLog::warning(text); });
    }
    void networkDriveOffline(const QString& path) {
        add([path] { AppLog::networkDriveOffline(path); });
    }
    std::function<void()> writer() {
        return [held = std::move(m_held)] {
            for (const auto& write : held)
                write();
        };
    }

private:
    void add(std::function<void()> write) {
        if (m_hold)
            m_held.push_back(std::move(write));
        else
            write();
    }
    bool m_hold = false;
    std::vector<std::function<void()>> m_held;
};

std::optional<QList<MediaFile>> detect(QList<MediaFile> files,
                                       const DuplicateDetectionCore::Settings& settings, LogLines& log) {
    const QString count = QString::number(files.size());
    log.info(QStringLiteral("Detecting content-identical duplicates among ") + count +
             QStringLiteral(" files"));
    QList<DuplicateDetectionCore::File> examined;
    for (qsizetype i = 0; i < files.size(); ++i) {
        MediaFile& file = files[i];
        file.duplicateOfPath.reset();
        file.fileHash.reset();
        if (takesPart(file))
            examined.append({int(i), readPath(file), file.size, isRemote(file.storageType)});
    }

    const DuplicateDetectionCore::Result result = DuplicateDetectionCore::detect(examined, settings);
    if (result.cancelled) {
        log.info(QStringLiteral("Duplicate detection cancelled"));
        return std::nullopt;
    }
    log.info(QStringLiteral("Duplicate candidates: sampled ") + QString::number(result.sampledCount) +
             QStringLiteral("/") + count + QStringLiteral(" file(s) after byte-size grouping"));
    log.info(QStringLiteral("Duplicate verification: fully hashed ") +
             QString::number(result.fullyHashedCount) + QStringLiteral(" sample match(es)"));

    const auto inList = [&](int index) { return index >= 0 && index < files.size(); };
    for (auto it = result.hashByIndex.constBegin(); it != result.hashByIndex.constEnd(); ++it) {
        if (inList(it.key()))
            files[it.key()].fileHash = it.value();
    }
    for (auto it = result.duplicateOfByIndex.constBegin(); it != result.duplicateOfByIndex.constEnd(); ++it) {
        if (inList(it.key()) && inList(it.value()))
            files[it.key()].duplicateOfPath = readPath(files[it.value()]);
    }
    // A read that hung (a share that went away) leaves its entry offline instead of hanging the import.
    for (int index : result.unansweredIndices) {
        if (!inList(index))
            continue;
        MediaFile& file = files[index];
        if (file.storageType == StorageType::network) {
            file.status = MediaFileStatus::networkOffline;
            log.networkDriveOffline(readPath(file));
        } else {
            file.status = MediaFileStatus::offline;
            log.warning(QStringLiteral("No answer from ") + readPath(file) +
                        QStringLiteral("; recorded offline"));
        }
    }
    log.info(QStringLiteral("Found ") + QString::number(result.duplicateOfByIndex.size()) +
             QStringLiteral(" content-identical file(s) across different paths"));
    return files;
}

} // namespace

std::optional<QList<MediaFile>>
DuplicateDetector::detectContentDuplicates(QList<MediaFile> files,
                                           const DuplicateDetectionCore::Settings& settings) {
    LogLines log(false);
    return detect(std::move(files), settings, log);
}

DuplicateDetector::Quiet DuplicateDetector::detectQuietly(QList<MediaFile> files,
                                                          const DuplicateDetectionCore::Settings& settings) {
    LogLines log(true);
    Quiet quiet;
    quiet.files = detect(std::move(files), settings, log);
    quiet.writeLog = log.writer();
    return quiet;
}

} // namespace tarnwick
