#pragma once

#include "model/MediaFile.h"
#include "model/ScoredMatch.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

class FileStatProbe;
class ProjectManager;

struct ApplyMatchesServices {
    // Reads the found files' sizes on the worker; null: OfflineMediaSearch::fileSizes.
    std::function<QHash<QString, qint64>(const QStringList& paths)> fileSizes;
};

// The search of a folder for offline media and the relinking of the matches the user chose.
class OfflineMediaSearch {
public:
    static constexpr int progressInterval = 500;
    static constexpr int applyBatchSize = 50;

    // How well a candidate path agrees with the offline entry: trailing path components (0.6),
    // size (0.3 equal, 0 different, 0.15 unknown), extension (0.1, or 0.05 when extensions are
    // ignored). Names compare in NFC, lower-cased.
    static MatchScore score(const MediaFile& offline, const QString& candidatePath,
                            std::optional<qint64> candidateSize, bool ignoreExtension);
    // The name an offline entry and a candidate are paired by.
    static QString nameKey(const QString& path, bool ignoreExtension);
    static QString nameKeyOfName(const QString& fileName, bool ignoreExtension);
    static void nameKeyInto(const QString& fileName, bool ignoreExtension, QString& key);

    struct ScanResult {
        QList<ScoredMatch> matches; // best first; equal scores in walk order, then list order
        qint64 itemsScanned = 0;
        bool folderReadable = true;
        bool cancelled = false;
    };
    // The whole search on any thread: walks `folder` (hidden entries and package contents skipped)
    // and scores every regular file whose name is an offline entry's name. One stat per candidate.
    // `progress` receives the running item count every `progressInterval` items.
    static ScanResult scan(const QList<MediaFile>& mediaFiles, const QString& folder, bool ignoreExtension,
                           const std::function<void(qint64 scanned)>& progress = {},
                           const std::atomic_bool* cancel = nullptr, const FileStatProbe* probe = nullptr);

    // The tool sheet's search: runs `scan` on a worker over the current media list and returns the
    // matches (empty when cancelled or the folder cannot be read). `progress` receives
    // "Scanned N files..." on the GUI thread; set `cancel` to stop the walk.
    static QCoro::Task<QList<ScoredMatch>>
    smartScanForOfflineFiles(ProjectManager& manager, QString folder, bool ignoreExtension,
                             std::function<void(const QString&)> progress = {},
                             std::shared_ptr<const std::atomic_bool> cancel = {},
                             std::shared_ptr<const FileStatProbe> probe = {});

    struct AppliedMatches {
        qint64 applied = 0;
        qint64 notFound = 0;
        qint64 alreadyOnline = 0;
    };
    // The relinking itself, on any thread: each match's entry is found by its exact path, then by
    // its lower-cased path, and relinked unless already online; `batchDone` after every 50.
    static AppliedMatches applyToList(QList<MediaFile>& mediaFiles, const QList<ScoredMatch>& matches,
                                      const QHash<QString, qint64>& sizes,
                                      const std::function<void(qsizetype done)>& batchDone = {});

    // Relinks each chosen match's offline entry to the found path (online, matched path, the found
    // file's size) on a worker, reporting "Applying matches (n/N)..." per batch of 50, then
    // consolidates the list. Waits for the manager's other operations and holds it for the whole run.
    static QCoro::Task<void> applyMatches(ProjectManager& manager, QList<ScoredMatch> matches,
                                          ApplyMatchesServices services = {});

    // The size of each readable path (a path given twice is listed once).
    static QHash<QString, qint64> fileSizes(const QStringList& paths);
};

} // namespace tarnwick
