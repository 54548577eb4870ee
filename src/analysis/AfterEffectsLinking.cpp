#include "analysis/AfterEffectsLinking.h"

#include "analysis/AEDefaultNames.h"
#include "analysis/AEPFileSearch.h"
#include "analysis/AEPRelocation.h"
#include "analysis/ImageSequenceFrames.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "platform/ThreadPools.h"
#include "stores/AuditLogManager.h"

#include <QPointer>
#include <QVarLengthArray>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <algorithm>

namespace tarnwick {

namespace {

bool isOnlineOrMatching(MediaFileStatus status) {
    return status == MediaFileStatus::online || status == MediaFileStatus::matching;
}

QString lowerKey(const QString& path) {
    // Every media path and footage path goes through here: ASCII (the common case) is its own
    // canonical form and lowers without the full case mapping.
    if (!QtPrivate::isAscii(path))
        return text::lowered(text::nfc(path));
    QString key(path.size(), Qt::Uninitialized);
    QChar* out = key.data();
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        *out++ = QChar(u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u);
    }
    return key;
}

// A footage path as compared with media paths: "\" read as "/", NFC, lower-cased.
QString footagePathKey(const QString& footage) {
    QString key = footage;
    key.replace(u'\\', u'/');
    return lowerKey(key);
}

// The last "/"-separated component as written (a Windows path without "/" is its own name).
QString footageNameKey(const QString& footage) {
    const qsizetype slash = footage.lastIndexOf(u'/');
    return lowerKey(slash < 0 ? footage : footage.mid(slash + 1));
}

QString mediaNameKey(const QString& path) {
    return footageNameKey(path);
}

// The keys of an entry's path, matched path and alternative paths, in that order.
template <typename F> void forEachPathKey(const MediaFile& file, F&& take) {
    take(lowerKey(file.path));
    if (file.matchedPath)
        take(lowerKey(*file.matchedPath));
    for (const QString& alternative : file.alternativePaths)
        take(lowerKey(alternative));
}

QStringList sorted(const QSet<QString>& set) {
    QStringList list(set.cbegin(), set.cend());
    std::sort(list.begin(), list.end());
    return list;
}

void markFootage(MediaFile& file, const QString& footage) {
    file.isAEFootage = true;
    if (!file.linkedAEProjects.contains(footage))
        file.linkedAEProjects.append(footage);
    if (file.usageType == MediaUsageType::unused)
        file.usageType = MediaUsageType::usedInAfterEffects;
}

bool hasUnresolvedLinks(const QHash<QString, AEPLinkStatus>& statuses) {
    return std::any_of(statuses.cbegin(), statuses.cend(),
                       [](const AEPLinkStatus& s) { return s.kind != AEPLinkStatus::Kind::resolved; });
}

AEPProject projectOf(const QString& path, const AEPParser::ParseResult& result) {
    return {QUrl::fromLocalFile(path), result.projectName, result.footagePaths};
}

// Marks the entries that are frames of the sequences; returns their positions.
QSet<qsizetype> markSequenceFrames(QList<MediaFile>& mediaFiles, const QList<ImageSequence>& sequences) {
    QSet<qsizetype> marked;
    if (sequences.isEmpty())
        return marked;
    const ImageSequenceFrames frames(sequences);
    for (const auto& [entry, sequence] : frames.listedFrames(mediaFiles)) {
        markFootage(mediaFiles[entry], sequences[sequence].displayPath());
        marked.insert(entry);
    }
    return marked;
}

void appendNew(QList<ImageSequence>& into, const QList<ImageSequence>& more) {
    for (const ImageSequence& sequence : more) {
        if (!into.contains(sequence))
            into.append(sequence);
    }
}

// Every footage path and sequence the parsed projects use.
struct AllFootage {
    QSet<QString> paths;
    QList<ImageSequence> sequences;
};

// One file to parse, and the link path whose state its outcome decides.
struct PlannedRequest {
    QString parsePath;
    QString statusPath;
};

// Positions of the media list by lower-cased path (matched and alternative paths too) and by name,
// in list order: a path held by several entries lists them all, the last of them last.
struct MediaIndexes {
    // Nearly every key names one entry: that one is kept without an allocation.
    using Positions = QVarLengthArray<qsizetype, 1>;
    QHash<QString, Positions> byPath;
    QHash<QString, Positions> byName;
    qint64 version = -1;

    void build(const QList<MediaFile>& media, qint64 listVersion = -1) {
        byPath.clear();
        byName.clear();
        for (qsizetype i = 0; i < media.size(); ++i) {
            forEachPathKey(media[i], [&](QString key) { byPath[std::move(key)].append(i); });
            byName[mediaNameKey(media[i].path)].append(i);
        }
        version = listVersion;
    }

    // The entries a footage path names: those holding its path, else those of its file name.
    struct Named {
        const Positions* positions = nullptr; // null: none
        bool byPath = false;
    };
    Named named(const QString& footage) const {
        if (const auto at = byPath.constFind(footagePathKey(footage)); at != byPath.cend())
            return {&at.value(), true};
        if (const auto at = byName.constFind(footageNameKey(footage)); at != byName.cend())
            return {&at.value(), false};
        return {};
    }
};

// What the search found: the .aep entries of the list (their positions), the .aep files near the
// projects, and which project lists which link.
struct AEPReferences {
    QList<qsizetype> indexes;
    FoundAEPFiles found;
    AEPRelocation relocation;
};

// The walk goes deep only when an entry is neither online nor matched.
AEPReferences findAEPReferences(const QList<MediaFile>& list, const QList<ProjectFile>& projects) {
    AEPReferences refs;
    bool deepSearch = false;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (!AEPFileSearch::isAEPPath(list[i].path))
            continue;
        refs.indexes.append(i);
        if (!isOnlineOrMatching(list[i].status))
            deepSearch = true;
    }
    QStringList folders;
    for (const ProjectFile& project : projects)
        folders.append(path::deletingLastPathComponent(project.url.toLocalFile()));
    refs.found = AEPFileSearch::findAEPFilesForRelocation(
        folders, deepSearch, AfterEffectsLinking::relocationMaxDepth, AfterEffectsLinking::relocationFileCap);
    if (deepSearch && !refs.found.isEmpty())
        refs.relocation = AEPRelocation(projects);
    return refs;
}

// Link states decided so far, in the order they were decided.
using DecidedLinks = QList<std::pair<QString, AEPLinkStatus>>;

// What to parse for each linked entry that is where it was and for each .aep found near the
// projects. An entry whose file is gone waits in `relocating` while a file of its name was found,
// and is decided missing when none was.
QList<PlannedRequest> planRequests(const QList<MediaFile>& mediaFiles, const AEPReferences& refs,
                                   DecidedLinks& decided, QList<qsizetype>& relocating) {
    QList<PlannedRequest> plan;
    for (const qsizetype i : refs.indexes) {
        const MediaFile& entry = mediaFiles[i];
        const QString& p = entry.path;
        if (isOnlineOrMatching(entry.status)) {
            plan.append({entry.matchedPath.value_or(p), p});
        } else if (refs.found.pathsByName.contains(AEPFileSearch::nameKey(p))) {
            relocating.append(i);
        } else {
            AppLog::warning(QStringLiteral("Linked AEP file not found: ") + p);
            decided.append({p, AEPLinkStatus::missing(p)});
        }
    }
    for (const QString& found : refs.found.paths)
        plan.append({found, found});
    return plan;
}

AEPLinkStatus linkStatusOf(const AEPParseOutcome& outcome, const QString& statusPath) {
    if (!outcome.result)
        return AEPLinkStatus::parseError(statusPath,
                                         outcome.failure.value_or(QStringLiteral("Unknown parse error")));
    return AEPLinkStatus::resolved(projectOf(outcome.request.path, *outcome.result));
}

// Parses finish in any order; outcomes are applied in request order, so that when one link path
// belongs to two requests the same one decides it on every run. Returns every footage path read.
AllFootage decideOutcomes(QList<AEPParseOutcome>& outcomes, const AEPParseRequests& requests,
                          DecidedLinks& decided) {
    QHash<QString, qsizetype> requestOrder;
    for (qsizetype i = 0; i < requests.requests().size(); ++i)
        requestOrder.insert(requests.requests()[i].cacheKey, i);
    std::stable_sort(
        outcomes.begin(), outcomes.end(), [&](const AEPParseOutcome& a, const AEPParseOutcome& b) {
            return requestOrder.value(a.request.cacheKey) < requestOrder.value(b.request.cacheKey);
        });
    AllFootage all;
    for (const AEPParseOutcome& outcome : std::as_const(outcomes)) {
        const AEPParseRequest& r = outcome.request;
        for (const QString& s : r.statusPaths)
            decided.append({s, linkStatusOf(outcome, s)});
        if (!outcome.result) {
            AppLog::error(QStringLiteral("Failed to parse AEP: ") + r.path + QStringLiteral(" — ") +
                          outcome.failure.value_or(QStringLiteral("Unknown parse error")));
            continue;
        }
        const AEPParser::ParseResult& result = *outcome.result;
        all.paths.unite(result.footagePaths);
        appendNew(all.sequences, result.sequences);
        AppLog::info(QStringLiteral("AEP ") + result.projectName +
                     QStringLiteral(": found %1 footage references").arg(result.footagePaths.size()));
    }
    return all;
}

// The run's requests, with the cache key each planned path was given.
struct PlannedRequests {
    AEPParseRequests requests;
    QHash<QString, QString> keyOfPath;
};

QString whyNotReconnected(const AEPRelocation::Choice& choice) {
    if (choice.tiedAlike > 1)
        return QStringLiteral("%1 files of its name could be it").arg(choice.tiedAlike);
    if (!choice.tiedByDefaultNamesOnly)
        return QStringLiteral("no file of its name is tied to a project that links it");
    const QString& found = *choice.tiedByDefaultNamesOnly;
    QStringList quoted;
    for (const QString& name : choice.defaultNames)
        quoted.append(u'“' + name + u'”');
    const bool defaultProject = AEDefaultNames::isDefaultProjectName(path::lastPathComponent(found));
    return found + QStringLiteral(" is tied to it only by %1 %2, which After Effects gives by default%3")
                       .arg(quoted.size() == 1 ? QStringLiteral("the composition name")
                                               : QStringLiteral("the composition names"),
                            quoted.join(QStringLiteral(", ")),
                            defaultProject ? QStringLiteral(", as it does its project name") : QString());
}

// Reconnects each link whose file is gone to the found file of its name that is tied to the
// projects listing it, once every found file is read; a link with none, or several tied alike,
// stays missing.
void relocateLinks(QList<MediaFile>& mediaFiles, const QList<qsizetype>& relocating,
                   const AEPReferences& refs, const QHash<QString, QString>& keyOfPath,
                   const QList<AEPParseOutcome>& outcomes, DecidedLinks& decided) {
    QHash<QString, const AEPParseOutcome*> outcomeByKey;
    for (const AEPParseOutcome& outcome : outcomes)
        outcomeByKey.insert(outcome.request.cacheKey, &outcome);
    const auto outcomeOf = [&](const QString& path) { return outcomeByKey.value(keyOfPath.value(path)); };
    for (const qsizetype i : relocating) {
        MediaFile& entry = mediaFiles[i];
        const QString p = entry.path;
        QList<AEPRelocation::Candidate> candidates;
        for (const QString& path : refs.found.pathsByName.value(AEPFileSearch::nameKey(p))) {
            const AEPParseOutcome* outcome = outcomeOf(path);
            candidates.append(
                {path, keyOfPath.value(path),
                 outcome && outcome->result ? std::optional(outcome->result->compositions) : std::nullopt});
        }
        const AEPRelocation::Choice choice = refs.relocation.choose(entry, candidates);
        const AEPParseOutcome* outcome = choice.path ? outcomeOf(*choice.path) : nullptr;
        if (!outcome) {
            AppLog::warning(QStringLiteral("Linked AEP file not found: ") + p);
            AppLog::info(QStringLiteral("AEP not reconnected: ") + p + QStringLiteral(" — ") +
                         whyNotReconnected(choice));
            decided.append({p, AEPLinkStatus::missing(p)});
            continue;
        }
        entry.matchedPath = *choice.path;
        entry.status = MediaFileStatus::matching;
        if (outcome->request.fileSize >= 0)
            entry.size = outcome->request.fileSize;
        AppLog::info(QStringLiteral("AEP auto-reconnected on import: ") + p + QStringLiteral(" → ") +
                     *choice.path);
        decided.append({p, linkStatusOf(*outcome, p)});
    }
}

// The missing and unreadable links by file name, each name's paths sorted and without repeats.
QHash<QString, QStringList> missingLinksByName(const QHash<QString, AEPLinkStatus>& linkStatuses) {
    QHash<QString, QStringList> missingByName;
    for (const AEPLinkStatus& status : linkStatuses) {
        if (status.kind == AEPLinkStatus::Kind::resolved)
            continue;
        QStringList& paths = missingByName[AEPFileSearch::nameKey(status.path)];
        if (!paths.contains(status.path))
            paths.append(status.path);
    }
    for (QStringList& paths : missingByName)
        paths.sort();
    return missingByName;
}

// Marks the entries a found project's footage names; once no link is left unresolved, no entry
// stays flagged. Positions are re-taken whenever the list changed since they were built.
void markFoundFootage(ProjectManager& manager, MediaIndexes& indexes, const QSet<QString>& footagePaths,
                      const QList<ImageSequence>& sequences, bool allResolved) {
    if (indexes.version != manager.mediaFilesVersion())
        indexes.build(manager.mediaFiles(), manager.mediaFilesVersion());
    // Summed up once every found project is marked.
    manager.deferredEdit(ProjectManager::ListChange::entries).modifyMediaFiles([&](QList<MediaFile>& media) {
        for (const QString& footage : sorted(footagePaths)) {
            const MediaIndexes::Positions* positions = indexes.named(footage).positions;
            if (!positions)
                continue;
            QSet<qsizetype> done;
            for (const qsizetype m : *positions) {
                if (m < 0 || m >= media.size() || done.contains(m))
                    continue;
                done.insert(m);
                MediaFile& file = media[m];
                file.hasUnresolvedAELink = false;
                markFootage(file, footage);
            }
        }
        for (const qsizetype m : markSequenceFrames(media, sequences))
            media[m].hasUnresolvedAELink = false;
        if (allResolved) {
            for (MediaFile& file : media)
                file.hasUnresolvedAELink = false;
        }
    });
    indexes.version = manager.mediaFilesVersion(); // our own change moved no entry
}

// A found project's parse: from the manager's cache while its size and date are unchanged, else
// parsed off the GUI thread and cached. Absent when it could not be parsed or the manager is gone.
QCoro::Task<std::optional<AEPParser::ParseResult>> readFoundProject(QPointer<ProjectManager> pm,
                                                                    QString foundPath, QStringList linkPaths,
                                                                    AEPParseFunction parse) {
    struct Facts {
        QString key;
        AEPFileStamp stamp;
    };
    QFuture<Facts> reading = QtConcurrent::run(&aeLinkingPool(), [foundPath] {
        return Facts{AEPParseRequests::cacheKey(foundPath), AEPFileStamp::of(foundPath)};
    });
    const Facts facts = co_await reading;
    if (!pm)
        co_return std::nullopt;
    const auto cached = pm->aepParseCache().constFind(facts.key);
    if (cached != pm->aepParseCache().cend() && cached->isValidFor(facts.stamp)) {
        AppLog::info(QStringLiteral("AEP cache hit: ") + path::lastPathComponent(foundPath));
        co_return cached->result;
    }
    const AEPParseRequest request{facts.key, foundPath, linkPaths, facts.stamp.size,
                                  facts.stamp.modificationTime};
    QFuture<AEPParseOutcome> parsing = QtConcurrent::run(
        &aeLinkingPool(), [request, parse] { return AEPParseRequests::parseOne(request, parse); });
    const AEPParseOutcome outcome = co_await parsing;
    if (!pm)
        co_return std::nullopt;
    if (!outcome.result) {
        AppLog::error(QStringLiteral("Failed to parse found AEP: ") + foundPath + QStringLiteral(" — ") +
                      outcome.failure.value_or(QStringLiteral("Unknown parse error")));
        co_return std::nullopt;
    }
    AEPParseRequests::store({outcome}, pm->aepParseCache());
    co_return outcome.result;
}

} // namespace

QCoro::Task<void> AfterEffectsLinking::linkAEPProjects(ProjectManager& manager, QList<MediaFile>& mediaFiles,
                                                       Services services) {
    QPointer<ProjectManager> pm(&manager);
    // A pass over every entry and every project's list: on a worker. The list is the caller's and
    // does not change meanwhile.
    const QList<MediaFile>* list = &mediaFiles;
    QFuture<AEPReferences> searching =
        QtConcurrent::run(&aeLinkingPool(), [list, projects = manager.projects()] {
            return findAEPReferences(*list, projects);
        });
    const AEPReferences refs = co_await searching;
    searching = {};
    if (!pm)
        co_return;
    if (refs.indexes.isEmpty() && refs.found.isEmpty())
        co_return;
    AppLog::info(QStringLiteral("AEP detection: %1 media ref(s), %2 .aep file(s) near projects")
                     .arg(refs.indexes.size())
                     .arg(refs.found.paths.size()));

    // Applied to the manager's statuses once every parse is in, in the order they were decided.
    DecidedLinks decided;
    QList<qsizetype> relocating;
    const QList<PlannedRequest> plan = planRequests(mediaFiles, refs, decided, relocating);

    // The requests' stat calls leave the GUI thread: a project may link files on a slow share.
    QFuture<PlannedRequests> requesting = QtConcurrent::run(&aeLinkingPool(), [plan] {
        PlannedRequests planned;
        for (const PlannedRequest& p : plan)
            planned.keyOfPath.insert(p.parsePath, planned.requests.add(p.parsePath, p.statusPath).cacheKey);
        return planned;
    });
    const PlannedRequests planned = co_await requesting;
    const AEPParseRequests& requests = planned.requests;
    if (!pm)
        co_return;

    QList<AEPParseRequest> pending;
    QList<AEPParseOutcome> outcomes = requests.takeCached(manager.aepParseCache(), pending);
    if (!pending.isEmpty()) {
        auto parsing = AEPParseRequests::parseAll(pending, services.maxConcurrentParses, services.parse);
        QList<AEPParseOutcome> fresh = co_await std::move(parsing);
        if (!pm)
            co_return;
        outcomes.append(std::move(fresh));
    }

    const AllFootage allFootage = decideOutcomes(outcomes, requests, decided);
    relocateLinks(mediaFiles, relocating, refs, planned.keyOfPath, outcomes, decided);
    AEPParseRequests::store(outcomes, manager.aepParseCache());
    QHash<QString, AEPLinkStatus> statuses = manager.aepLinkStatuses();
    for (const auto& [path, status] : std::as_const(decided))
        statuses.insert(path, status);
    manager.setAEPLinkStatuses(statuses);

    // Both passes touch every entry: a worker does them on the import's own list.
    QFuture<void> marking =
        QtConcurrent::run(&aeLinkingPool(), [&mediaFiles, allFootage, projects = manager.projects(),
                                             statuses = manager.aepLinkStatuses()] {
            if (!allFootage.paths.isEmpty() || !allFootage.sequences.isEmpty())
                crossReferenceAEFootage(mediaFiles, allFootage.paths, allFootage.sequences);
            flagMediaOfProjectsWithMissingAEP(mediaFiles, projects, statuses);
        });
    co_await marking;
}

void AfterEffectsLinking::crossReferenceAEFootage(QList<MediaFile>& mediaFiles,
                                                  const QSet<QString>& footagePaths,
                                                  const QList<ImageSequence>& sequences) {
    AppLog::info(QStringLiteral("Cross-referencing %1 AE footage paths with %2 media files")
                     .arg(footagePaths.size())
                     .arg(mediaFiles.size()));
    MediaIndexes indexes;
    indexes.build(mediaFiles);
    int matched = 0;
    for (const QString& footage : sorted(footagePaths)) {
        const MediaIndexes::Named named = indexes.named(footage);
        if (!named.positions)
            continue;
        // One path held by several entries marks the last of them only; a name marks every entry.
        if (named.byPath) {
            markFootage(mediaFiles[named.positions->last()], footage);
        } else {
            for (const qsizetype i : *named.positions)
                markFootage(mediaFiles[i], footage);
        }
        ++matched;
    }
    markSequenceFrames(mediaFiles, sequences);
    AppLog::info(QStringLiteral("Matched %1 AE footage references to media files").arg(matched));
}

void AfterEffectsLinking::flagMediaOfProjectsWithMissingAEP(
    QList<MediaFile>& mediaFiles, const QList<ProjectFile>& projects,
    const QHash<QString, AEPLinkStatus>& linkStatuses) {
    QSet<QString> missing;
    qsizetype missingCount = 0;
    for (auto it = linkStatuses.cbegin(); it != linkStatuses.cend(); ++it) {
        if (it->kind == AEPLinkStatus::Kind::resolved)
            continue;
        missing.insert(lowerKey(it.key()));
        ++missingCount;
    }
    if (missing.isEmpty())
        return;
    // By the project's own file list, not its name: many projects share a name ("Untitled").
    qsizetype uncertainProjects = 0;
    QSet<QString> uncertainPaths;
    for (const ProjectFile& project : projects) {
        QStringList keys;
        keys.reserve(project.mediaFiles.size());
        bool links = false;
        for (const QString& p : project.mediaFiles) {
            keys.append(lowerKey(p));
            links = links || missing.contains(keys.last());
        }
        if (!links)
            continue;
        ++uncertainProjects;
        uncertainPaths.unite(QSet<QString>(keys.cbegin(), keys.cend()));
    }
    if (uncertainProjects == 0)
        return;
    for (MediaFile& file : mediaFiles) {
        if (file.usageCount != 0 || file.isAEFootage || AEPFileSearch::isAEPPath(file.path))
            continue;
        // A consolidated entry holds the other paths it stands for among its alternatives.
        const bool listed =
            uncertainPaths.contains(lowerKey(file.path)) ||
            std::any_of(file.alternativePaths.cbegin(), file.alternativePaths.cend(),
                        [&](const QString& p) { return uncertainPaths.contains(lowerKey(p)); });
        if (listed)
            file.hasUnresolvedAELink = true;
    }
    AppLog::warning(QStringLiteral("%1 AEP file(s) missing — flagged uncertain files in %2 project(s)")
                        .arg(missingCount)
                        .arg(uncertainProjects));
}

QCoro::Task<int> AfterEffectsLinking::searchForMissingAEPFiles(ProjectManager& manager, QString folder,
                                                               std::function<void(const QString&)> progress,
                                                               std::shared_ptr<const std::atomic_bool> cancel,
                                                               Services services) {
    QPointer<ProjectManager> pm(&manager);
    const auto report = [&progress](const QString& message) {
        if (progress)
            progress(message);
    };
    const auto cancelled = [&cancel] { return cancel && cancel->load(); };
    // Held to the end: the positions below stay valid because nothing else changes the list.
    auto turn = manager.beginOperation(QStringLiteral("Searching for After Effects projects…"));
    OperationGate::Scope scope = co_await std::move(turn);
    if (!pm || !scope.isActive())
        co_return 0;

    report(QStringLiteral("Scanning for .aep files..."));
    QFuture<QStringList> walking = QtConcurrent::run(
        &aeLinkingPool(), [folder, cancel] { return AEPFileSearch::findAEPFiles(folder, cancel.get()); });
    const QStringList found = co_await walking;
    if (!pm)
        co_return 0;
    const qsizetype n = found.size();
    if (n == 0) {
        report(QStringLiteral("No .aep files found"));
        co_return 0;
    }
    report(QStringLiteral("Found %1 .aep file(s), parsing...").arg(n));

    const QHash<QString, QStringList> missingByName = missingLinksByName(manager.aepLinkStatuses());
    const AEPParseFunction parse = services.parse ? services.parse : &AEPParseRequests::parseWithOwnReader;
    MediaIndexes indexes;
    int resolvedCount = 0;

    for (qsizetype i = 0; i < n && !cancelled(); ++i) {
        const QString& foundPath = found[i];
        const QString name = path::lastPathComponent(foundPath);
        report(QStringLiteral("Parsing %1/%2: ").arg(i + 1).arg(n) + name);
        const auto links = missingByName.constFind(AEPFileSearch::nameKey(foundPath));
        if (links == missingByName.cend())
            continue;
        const QStringList linkPaths = links.value();

        auto reading = readFoundProject(pm, foundPath, linkPaths, parse);
        const std::optional<AEPParser::ParseResult> result = co_await std::move(reading);
        if (!pm)
            co_return resolvedCount;
        if (!result)
            continue;

        QHash<QString, AEPLinkStatus> statuses = manager.aepLinkStatuses();
        for (const QString& p : linkPaths)
            statuses.insert(p, AEPLinkStatus::resolved(projectOf(foundPath, *result)));
        manager.setAEPLinkStatuses(statuses);
        const bool allResolved = !hasUnresolvedLinks(statuses);

        markFoundFootage(manager, indexes, result->footagePaths, result->sequences, allResolved);
        resolvedCount += int(linkPaths.size());
        AppLog::info(QStringLiteral("Resolved missing AEP: ") + result->projectName +
                     QStringLiteral(" with %1 footage paths").arg(result->footagePaths.size()));
    }
    manager.edit(ProjectManager::ListChange::entries);
    unstageUsedFootage(manager);
    co_return resolvedCount;
}

int AfterEffectsLinking::unstageUsedFootage(ProjectManager& manager) {
    const QList<MediaFile>& media = manager.mediaFiles();
    const QList<RecycleBinItem>& bin = manager.recycleBin();
    if (bin.isEmpty())
        return 0;
    QHash<QString, qsizetype> usedByKey;
    for (qsizetype i = 0; i < media.size(); ++i) {
        const MediaFile& file = media[i];
        if (file.usageCount < 1 && !file.isAEFootage)
            continue;
        forEachPathKey(file, [&](QString key) { usedByKey.insert(std::move(key), i); });
    }
    if (usedByKey.isEmpty())
        return 0;
    QHash<QString, qsizetype> entryByExactPath;
    for (qsizetype i = 0; i < media.size(); ++i)
        entryByExactPath.insert(text::nfc(media[i].path), i);

    QSet<qsizetype> backOnline;
    QSet<int> leaving;
    QList<AuditLogManager::Request> restored;
    for (qsizetype b = 0; b < bin.size(); ++b) {
        const MediaFile& staged = bin[b].mediaFile;
        qsizetype used = usedByKey.value(lowerKey(staged.path), -1);
        if (used < 0 && staged.matchedPath)
            used = usedByKey.value(lowerKey(*staged.matchedPath), -1);
        if (used < 0)
            continue;
        leaving.insert(int(b));
        restored.append({AuditAction::restored, staged, std::nullopt});
        // The staged file's own entry (exact path first), else the used entry holding its path.
        backOnline.insert(entryByExactPath.value(text::nfc(staged.path), used));
    }
    if (leaving.isEmpty())
        return 0;
    ProjectManager::Edit edit(manager, ProjectManager::ListChange::entries);
    edit.modifyMediaFiles([&](QList<MediaFile>& list) {
        for (const qsizetype i : std::as_const(backOnline)) {
            if (i >= 0 && i < list.size() && list[i].status == MediaFileStatus::inRecycleBin)
                list[i].status = MediaFileStatus::online;
        }
    });
    edit.modifyRecycleBin([&](QList<RecycleBinItem>& items) {
        QList<RecycleBinItem> kept;
        for (qsizetype b = 0; b < items.size(); ++b) {
            if (!leaving.contains(int(b)))
                kept.append(items[b]);
        }
        items = std::move(kept);
    });
    // Each file that left the bin is a restore, recorded as one.
    if (AuditLogManager* audit = manager.auditLog())
        audit->log(restored);
    AppLog::info(QStringLiteral("%1 staged file(s) left the recycle bin: now used in After Effects")
                     .arg(leaving.size()));
    return int(leaving.size());
}

} // namespace tarnwick
