#include "analysis/DaVinciCSVImport.h"

#include "analysis/DistinctPaths.h"
#include "analysis/ImportProgress.h"
#include "analysis/ListStretches.h"
#include "analysis/MediaConsolidator.h"
#include "analysis/ProjectManager.h"
#include "analysis/TakeResult.h"
#include "analysis/UsageAggregator.h"
#include "platform/AppLog.h"
#include "platform/DirectoryWalker.h"
#include "platform/FileStatProbe.h"
#include "platform/MemoryRelease.h"
#include "platform/PathText.h"
#include "platform/RegularFile.h"
#include "platform/TextKey.h"
#include "platform/ThreadNames.h"
#include "platform/ThreadPools.h"
#include "readers/ResolveCSV.h"
#include "readers/ResolveCSVMessages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <climits>
#include <utility>
#include <vector>

namespace tarnwick {

namespace {

// The clips a CSV names, read and resolved on a worker.
struct ReadCSV {
    QString failure;         // empty when the file was read
    QStringList clips;       // each clip path once, in row order
    qint64 dataRows = 0;     // rows the reader accepted or skipped
    qint64 skippedRows = 0;  // rows the reader skipped
    qint64 openQuoteRow = 0; // the row whose quote took the rest of the file, 0 when none
    qint64 unresolvedRows = 0;
    QStringList unresolvedExamples;
    DistinctPaths clipSet; // the clips, to find their entries by
};

// A clip's path. A relative Clip Directory is never taken from the working directory: it names a
// folder next to the CSV when the clip is there, else nothing.
std::optional<QString> clipPath(const ResolveCSVRow& row, const QString& csvFolder,
                                const FileStatProbe& probe) {
    if (row.clipDirectory.startsWith(QLatin1Char('/')))
        return row.fullPath();
    if (csvFolder.isEmpty())
        return std::nullopt;
    const QString resolved = QDir::cleanPath(csvFolder + QLatin1Char('/') + row.fullPath());
    if (!resolved.startsWith(QLatin1Char('/')) || !probe.stat(resolved))
        return std::nullopt;
    return resolved;
}

// Each row's clipPath in row order, empty where the row names none: made in stretches side by side.
QStringList clipPaths(const QList<ResolveCSVRow>& rows, const QString& csvFolder,
                      const FileStatProbe& probe) {
    QStringList paths(rows.size());
    QString* out = paths.data();
    ListStretches(rows.size()).run([&](int, qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            if (std::optional<QString> path = clipPath(rows[i], csvFolder, probe))
                out[i] = std::move(*path);
        }
    });
    return paths;
}

ReadCSV readCSV(const QString& filePath, const QString& fileName) {
    ReadCSV read;
    const auto couldNotRead = [&](const QString& why) {
        read.failure = QStringLiteral("Couldn't read ") + fileName + QStringLiteral(": ") + why;
        return read;
    };
    // Read piece by piece from a descriptor checked to be a regular file: a pipe named like a CSV
    // would never end, and memory follows the rows rather than the file.
    RegularFile file(filePath);
    if (!file.isOpen())
        return couldNotRead(file.errorString());
    QFile device;
    if (!device.open(file.handle(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return couldNotRead(device.errorString());
    ResolveCSVParse parse;
    try {
        parse = ResolveCSV::parse(device);
    } catch (const ResolveCSVError& error) {
        read.failure = daVinciCSVErrorMessage(error, fileName);
        return read;
    } catch (const Error& error) {
        return couldNotRead(error.description());
    }
    read.dataRows = parse.rows.size() + parse.skipped.size();
    read.skippedRows = parse.skipped.size();
    read.openQuoteRow = parse.unclosedQuoteLine;
    const QString csvFolder = QDir::isAbsolutePath(filePath) ? QFileInfo(filePath).absolutePath() : QString();
    const std::shared_ptr<const FileStatProbe> probe = FileStatProbe::system();
    // The table of clips is filled in row order.
    const QList<ResolveCSVRow>& rows = parse.rows;
    QStringList resolved = clipPaths(rows, csvFolder, *probe);
    for (qsizetype row = 0; row < rows.size() && read.unresolvedExamples.size() < 3; ++row) {
        if (std::as_const(resolved)[row].isEmpty())
            read.unresolvedExamples.append(rows[row].fullPath());
    }
    read.unresolvedRows = resolved.removeIf([](const QString& path) { return path.isEmpty(); });
    read.clipSet = DistinctPaths(resolved, &read.clips);
    // A million rows and their names, freed while the import goes on.
    memory::releaseLater(std::make_pair(std::move(parse), std::move(resolved)));
    return read;
}

// Positions of the entries whose path is one of the CSV's clips, in the list `consolidation` makes.
std::vector<qsizetype> csvEntryPositions(const QList<MediaFile>& media, const DistinctPaths& clips,
                                         const MediaConsolidator::Consolidation* consolidation = nullptr) {
    const ListStretches stretches(media.size());
    // Per stretch: the positions found in it, counted from its start, and the entries it keeps.
    std::vector<std::vector<qsizetype>> found(std::size_t(stretches.count()));
    std::vector<qsizetype> kept(std::size_t(stretches.count()), 0);
    stretches.run([&](int k, qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            if (consolidation && consolidation->mergedAwayAt(i))
                continue;
            if (clips.contains(media[i].path))
                found[std::size_t(k)].push_back(kept[std::size_t(k)]);
            ++kept[std::size_t(k)];
        }
    });
    std::vector<qsizetype> positions;
    qsizetype offset = 0;
    for (std::size_t k = 0; k < found.size(); ++k) {
        for (qsizetype position : found[k])
            positions.push_back(offset + position);
        offset += kept[k];
    }
    return positions;
}

QString lowerKey(const QString& text) {
    return text::lowered(text::nfc(text));
}

// The clips' "Proxy" and "Proxies" folders, each listed once however many clips share it.
class ProxyFolders {
public:
    std::optional<QString> proxyOf(const QString& mediaPath) {
        // A CSV's clips come folder by folder: the folder of the clip before is taken again.
        const bool sameFolder = isInLastFolder(mediaPath);
        if (sameFolder && m_lastFolderHasNone)
            return std::nullopt;
        if (!sameFolder) {
            m_lastFolder = path::deletingLastPathComponent(mediaPath);
            m_lastFolderHasNone = false;
        }
        const QString& folder = m_lastFolder;
        // A folder longer than the system takes holds no proxy folder: nothing to stat or list.
        if (folder.size() > PATH_MAX)
            return std::nullopt;
        if (folder.isEmpty())
            return std::nullopt;
        const QList<Listing>& listings = listingsOf(folder);
        m_lastFolderHasNone = listings.isEmpty();
        if (listings.isEmpty())
            return std::nullopt; // the usual case: no proxy folder beside the clip, no name to take apart
        const QString clipName = path::lastPathComponent(mediaPath);
        const QString baseName = path::deletingPathExtension(clipName);
        if (baseName.isEmpty())
            return std::nullopt;
        const QString baseKey = lowerKey(baseName);
        const QString ownExtension = lowerKey(path::pathExtension(clipName));
        for (const Listing& listing : listings) {
            // In name order: the clip's own extension first, else the first proxy video format.
            std::optional<QString> videoExtension;
            for (const Candidate& candidate : listing.value(baseKey)) {
                if (candidate.extension == ownExtension)
                    return candidate.path;
                if (!videoExtension && DaVinciCSVImport::proxyVideoExtensions().contains(candidate.extension))
                    videoExtension = candidate.path;
            }
            if (videoExtension)
                return videoExtension;
        }
        return std::nullopt;
    }

private:
    // Whether path::deletingLastPathComponent(mediaPath) is the last folder, without making it.
    bool isInLastFolder(const QString& mediaPath) const {
        const qsizetype n = m_lastFolder.size();
        return n > 1 && mediaPath.size() > n + 1 && mediaPath[n] == u'/' &&
               mediaPath.startsWith(m_lastFolder) && mediaPath.indexOf(u'/', n + 1) < 0;
    }

    struct Candidate {
        QString path;
        QString extension; // lower-cased
    };
    // The regular files of one proxy folder by lower-cased name without extension, in name order.
    using Listing = QHash<QString, QList<Candidate>>;

    const QList<Listing>& listingsOf(const QString& folder) {
        if (const auto known = m_byFolder.constFind(folder); known != m_byFolder.cend())
            return known.value();
        QList<Listing> listings;
        for (const QString& subfolder : {QStringLiteral("Proxy"), QStringLiteral("Proxies")}) {
            const QString proxyFolder = path::appendingPathComponent(folder, subfolder);
            const auto facts = m_probe->stat(proxyFolder);
            if (!facts || !facts->isDirectory)
                continue;
            Listing listing;
            DirectoryWalker::Options options;
            options.recursive = false;
            options.regularFilesOnly = true; // a folder named like the clip is no proxy
            DirectoryWalker::walk(proxyFolder, options, [&](const DirectoryWalker::Entry& entry) {
                listing[lowerKey(path::deletingPathExtension(entry.name()))].append(
                    {entry.path(), lowerKey(path::pathExtension(entry.name()))});
                return DirectoryWalker::Action::proceed;
            });
            listings.append(std::move(listing));
        }
        return m_byFolder.insert(folder, std::move(listings)).value();
    }

    std::shared_ptr<const FileStatProbe> m_probe = FileStatProbe::system();
    QHash<QString, QList<Listing>> m_byFolder;
    QString m_lastFolder;
    bool m_lastFolderHasNone = false; // no proxy folder beside the last folder's clips
};

// What consolidating the list changes and the positions of the CSV entries once it is applied.
using Consolidated = std::pair<MediaConsolidator::Consolidation, std::vector<qsizetype>>;

// Consolidates the list in place unless it changed meanwhile; the positions of the CSV entries.
std::vector<qsizetype> takeConsolidated(ProjectManager& manager, Consolidated consolidated,
                                        qint64 listVersion, const DistinctPaths& clips) {
    if (manager.mediaFilesVersion() != listVersion)
        return csvEntryPositions(manager.mediaFiles(), clips);
    // Consolidation may merge a staged file into another entry.
    manager.edit(ProjectManager::ListChange::entriesMerged).modifyMediaFiles([&](QList<MediaFile>& media) {
        std::move(consolidated.first).applyTo(media);
    });
    return std::move(consolidated.second);
}

QStringList clipsWithoutProxy(const QList<MediaFile>& media, const std::vector<qsizetype>& csvPositions) {
    QStringList clips;
    for (qsizetype i : csvPositions) {
        if (!media[i].proxyPath)
            clips.append(media[i].path);
    }
    return clips;
}

// Marks the CSV entries, gives them the proxies found, and counts them into the summary.
void markCSVEntries(ProjectManager& manager, const std::vector<qsizetype>& csvPositions,
                    const QHash<QString, QString>& proxies, DaVinciCSVImportSummary& summary) {
    qint64 csvEntries = 0;
    manager.edit(ProjectManager::ListChange::entries).modifyMediaFiles([&](QList<MediaFile>& media) {
        for (qsizetype i : csvPositions) {
            MediaFile& file = media[i];
            file.isFromDaVinciCSV = true;
            if (!file.proxyPath) {
                if (const auto proxy = proxies.constFind(file.path); proxy != proxies.cend())
                    file.proxyPath = proxy.value();
            }
            ++csvEntries;
            if (file.isOnDisk())
                ++summary.foundOnDisk;
            if (file.usageCount >= 1)
                ++summary.protectedByOtherProjects;
            if (file.proxyPath)
                ++summary.proxiesDetected;
        }
    });
    summary.missingOnDisk = csvEntries - summary.foundOnDisk;
}

} // namespace

const QStringList& DaVinciCSVImport::proxyVideoExtensions() {
    static const QStringList extensions{QStringLiteral("mov"), QStringLiteral("mp4"), QStringLiteral("m4v"),
                                        QStringLiteral("mxf"), QStringLiteral("mkv"), QStringLiteral("avi"),
                                        QStringLiteral("webm")};
    return extensions;
}

std::optional<QString> DaVinciCSVImport::findProxyPath(const QString& mediaPath) {
    return ProxyFolders().proxyOf(mediaPath);
}

void DaVinciCSVImport::reportDaVinciImportFailure(ProjectManager& manager, const QString& message) {
    AppLog::warning(QStringLiteral("DaVinci CSV import failed: ") + message);
    manager.updatePrompts([&](PromptState& prompts) {
        prompts.lastDaVinciImport = std::nullopt;
        prompts.daVinciImportMessage = message;
        prompts.showDaVinciImportResult = true;
    });
}

namespace {

void logUnresolvedRows(const ReadCSV& read, const QString& fileName) {
    if (read.unresolvedRows > 0) {
        AppLog::warning(QStringLiteral("DaVinci CSV: skipped %1 row(s) whose relative Clip Directory names "
                                       "no file next to %2 (%3)")
                            .arg(read.unresolvedRows)
                            .arg(fileName, read.unresolvedExamples.join(QStringLiteral(", "))));
    }
}

// A quote left open loses every row after it: never without a word.
void logOpenQuote(const ReadCSV& read, const QString& fileName) {
    if (read.openQuoteRow > 0) {
        AppLog::warning(QStringLiteral("DaVinci CSV: the double quote in row %1 of %2 is never closed; "
                                       "read %3 row(s), the rest of the file as one cell")
                            .arg(read.openQuoteRow)
                            .arg(fileName)
                            .arg(read.dataRows));
    }
}

QString noClipsMessage(const ReadCSV& read, const QString& fileName) {
    QString message = QStringLiteral("No media clips found in ") + fileName +
                      QStringLiteral(". %1 row(s) were skipped (for example the timeline \"stringout\" row, "
                                     "which has no source file).")
                          .arg(read.skippedRows + read.unresolvedRows);
    if (read.openQuoteRow > 0)
        message += QLatin1Char('\n') + daVinciOpenQuoteMessage(read.dataRows, read.openQuoteRow);
    return message;
}

// The CSV as a project of its own, replacing the one an earlier import of the same file made.
void addCSVProject(ProjectManager& manager, const QUrl& url, const QString& projectName,
                   const QStringList& clips) {
    ProjectFile project;
    project.url = url;
    project.name = projectName;
    // No usage counts: a CSV lists clips no timeline uses, and a path without a count counts none.
    project.mediaFiles = clips;
    // The rebuild that follows settles the lists.
    manager.deferredEdit(ProjectManager::ListChange::usage).modifyProjects([&](QList<ProjectFile>& projects) {
        projects.removeIf([&](const ProjectFile& p) { return p.url == url; });
        projects.append(project);
    });
    manager.updateProgress([&](AnalysisProgress& progress) {
        progress.setStep(QStringLiteral("Locating %1 clip(s) on disk…").arg(clips.size()));
        progress.analysisProgress = ImportProgress::csvLocateStart;
    });
}

void reportImported(ProjectManager& manager, const DaVinciCSVImportSummary& summary) {
    manager.updatePrompts([&](PromptState& prompts) {
        prompts.lastDaVinciImport = summary;
        prompts.daVinciImportMessage = daVinciImportSummaryMessage(summary);
        prompts.showDaVinciImportResult = true;
    });
    manager.updateProgress([](AnalysisProgress& progress) {
        progress.analysisProgress = 1.0;
        progress.setStep(QStringLiteral("DaVinci CSV import complete"), 1.0);
    });
    AppLog::info(QStringLiteral("DaVinci CSV import: %1 clips (%2 online, %3 offline, %4 protected)")
                     .arg(summary.importedClips)
                     .arg(summary.foundOnDisk)
                     .arg(summary.missingOnDisk)
                     .arg(summary.protectedByOtherProjects));
    manager.updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = false; });
}

} // namespace

QCoro::Task<void> DaVinciCSVImport::importDaVinciCSV(ProjectManager& manager, QUrl url) {
    QPointer<ProjectManager> pm(&manager);
    const QString filePath = url.toLocalFile();
    const QString fileName = path::lastPathComponent(filePath);
    const QString projectName = QStringLiteral("DaVinci: ") + path::deletingPathExtension(fileName);
    AppLog::userAction(QStringLiteral("Importing DaVinci CSV: ") + fileName);
    auto turn = manager.beginOperation(QStringLiteral("Importing DaVinci CSV…"));
    OperationGate::Scope scope = co_await std::move(turn);
    if (!pm || !scope.isActive())
        co_return;

    manager.updateProgress([](AnalysisProgress& progress) {
        progress.isAnalyzing = true;
        progress.analysisProgress = 0;
        progress.setStep(QStringLiteral("Reading DaVinci CSV…"));
    });
    QFuture<ReadCSV> reading =
        QtConcurrent::run(&fileReadPool(), [filePath, fileName] { return readCSV(filePath, fileName); });
    ReadCSV read = co_await reading;
    if (!pm)
        co_return;
    if (!read.failure.isEmpty()) {
        reportDaVinciImportFailure(manager, read.failure);
        manager.updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = false; });
        co_return;
    }
    logUnresolvedRows(read, fileName);
    logOpenQuote(read, fileName);
    const QStringList& clips = read.clips;
    const DistinctPaths& seen = read.clipSet;
    if (clips.isEmpty()) {
        reportDaVinciImportFailure(manager, noClipsMessage(read, fileName));
        manager.updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = false; });
        co_return;
    }

    addCSVProject(manager, url, projectName, clips);
    auto rebuilding = manager.rebuildMediaFilesHoldingGate();
    co_await std::move(rebuilding);
    if (!pm)
        co_return;

    const qint64 listVersion = manager.mediaFilesVersion();
    // Processor work over the list: a pool of this import's own, ended with it.
    QThreadPool pool;
    nameThreads(pool, "CSVConsolidate");
    QFuture<Consolidated> consolidating =
        QtConcurrent::run(&pool, [media = manager.mediaFiles(), seen]() mutable {
            MediaConsolidator::Consolidation consolidation = MediaConsolidator().consolidationOf(media);
            std::vector<qsizetype> positions = csvEntryPositions(media, seen, &consolidation);
            media = {}; // before the GUI thread changes the list in place: a second holder would copy it
            return Consolidated(std::move(consolidation), std::move(positions));
        });
    Consolidated consolidated = co_await takeResult(consolidating);
    if (!pm)
        co_return;
    std::vector<qsizetype> csvPositions =
        takeConsolidated(manager, std::move(consolidated), listVersion, seen);
    const qint64 markedVersion = manager.mediaFilesVersion();

    QFuture<QHash<QString, QString>> finding =
        QtConcurrent::run(&walkPool(), [clips = clipsWithoutProxy(manager.mediaFiles(), csvPositions)] {
            QHash<QString, QString> proxies;
            ProxyFolders folders;
            for (const QString& clip : clips) {
                if (const auto proxy = folders.proxyOf(clip))
                    proxies.insert(clip, *proxy);
            }
            return proxies;
        });
    const QHash<QString, QString> proxies = co_await finding;
    if (!pm)
        co_return;
    if (manager.mediaFilesVersion() != markedVersion)
        csvPositions = csvEntryPositions(manager.mediaFiles(), seen);

    DaVinciCSVImportSummary summary;
    summary.sourceName = projectName;
    summary.totalDataRows = read.dataRows;
    summary.importedClips = clips.size();
    summary.skippedRows = read.skippedRows;
    summary.unresolvedRows = read.unresolvedRows;
    summary.openQuoteRow = read.openQuoteRow;
    markCSVEntries(manager, csvPositions, proxies, summary);
    reportImported(manager, summary);
    // What the import's threads freed goes back to the system, not only to their arenas.
    memory::trimLater();
}

} // namespace tarnwick
