#pragma once

#include "model/MediaFile.h"
#include "model/ProjectFile.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace tarnwick {

// The lower-cased location keys of one entry, made on first need and reused while its location is
// unchanged.
struct MediaPathKeys {
    QString location; // the text the keys were made from: matchedPath, else path
    // The location made absolute and standardized, lower-cased; empty when empty.
    QString lowerLocation;
    // The same location with the links of its folder resolved, lower-cased; empty when it equals
    // lowerLocation or did not resolve. Made off the GUI thread (CanonicalLocations).
    QString lowerCanonicalLocation;
    bool hasLowerLocation = false;
    bool canonicalResolved = false;
};

// Lower-cased paths for matching, per media entry and per project, so summaries, recounts and
// filters do not lower-case every path again. GUI thread only.
class LowerPathCache {
public:
    const MediaPathKeys& keys(const MediaFile& file);
    // The entry's path keys: path, alternative paths, matched path, lower-cased, each distinct key
    // once, the path's first. All matching by path needs.
    const QStringList& distinctKeys(const MediaFile& file);
    // The same where the caller already holds lowerKey(file.path): it is shared, not made again.
    const QStringList& distinctKeys(const MediaFile& file, const QString& lowerPath);
    // Room for this many entries' keys, so a large list is keyed without regrowing the table.
    void reserve(qsizetype entries);

    // What an entry's path keys were made from, and the keys. A million entries each hold one: the
    // location keys, which few lists need, are kept apart.
    struct PathKeys {
        QString path;
        std::optional<QString> matchedPath;
        QStringList alternativePaths;
        QStringList distinctKeys;
    };
    // For a long list keyed on several threads at once: the table's keys of the entry while they
    // are current, else null. Reads only, so any number of threads may ask while nothing writes.
    const PathKeys* currentKeys(const MediaFile& file) const;
    // An entry's keys made without the table (any thread), `lowerPath` when the caller holds
    // lowerKey(file.path).
    static PathKeys makeKeys(const MediaFile& file, const QString* lowerPath = nullptr);
    // Keeps keys made by makeKeys, each under its entry's id; the table's shards are filled on
    // several threads. The keys are moved out of `made`.
    using MadeKeys = std::vector<std::pair<QUuid, PathKeys>>;
    void storeAll(QList<MadeKeys>& made);
    // The project's media paths, lower-cased, in its order.
    const QStringList& projectPaths(const ProjectFile& project);

    // Sets the resolved location of an entry whose keys were made from `location` (else nothing).
    void setCanonicalLocation(const QUuid& id, const QString& location, QString lowerCanonical);

    // Drops the keys of entries and projects that left the lists.
    void prune(const QList<MediaFile>& mediaFiles, const QList<ProjectFile>& projects);
    qsizetype entryCount() const;

    // Lower-cased without the locale, in canonical (NFC) form.
    static QString lowerKey(const QString& path);

private:
    PathKeys& pathKeys(const MediaFile& file, const QString* lowerPath = nullptr);
    void pruneEntries(const QList<MediaFile>& mediaFiles);

    struct ProjectKeys {
        QStringList source;
        QStringList lowered;
    };
    // The entries' keys in shards by id, so that a million new ones are stored on several threads.
    static constexpr std::size_t entryShards = 8;
    using EntryTable = QHash<QUuid, PathKeys>;
    static std::size_t shardOf(const QUuid& id) { return id.data1 % entryShards; }
    std::array<EntryTable, entryShards> m_entries;
    QHash<QUuid, MediaPathKeys> m_locations;
    QHash<QUuid, ProjectKeys> m_projects;
};

} // namespace tarnwick
