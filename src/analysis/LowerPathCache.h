#pragma once

#include "model/MediaFile.h"
#include "model/ProjectFile.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tarnwick {

// The lower-cased forms of one entry's paths, made once and reused while its paths are unchanged.
struct MediaPathKeys {
    // The texts the keys were made from.
    QString path;
    std::optional<QString> matchedPath;
    QStringList alternativePaths;

    QString lowerPath;
    // path, alternative paths, matched path: lower-cased, each distinct key once.
    QStringList distinctKeys;
    // The location keys below are made on first need (keys()).
    bool hasLocationKeys = false;
    // matchedPath (else path) made absolute and standardized, lower-cased; empty when empty.
    QString lowerLocation;
    // The same location with the links of its folder resolved, lower-cased; empty when it equals
    // lowerLocation or did not resolve. Made off the GUI thread (CanonicalLocations).
    QString lowerCanonicalLocation;
    bool canonicalResolved = false;
};

// Lower-cased paths for matching, per media entry and per project, so summaries, recounts and
// filters do not lower-case every path again. GUI thread only.
class LowerPathCache {
public:
    const MediaPathKeys& keys(const MediaFile& file);
    // Only the entry's path keys (distinctKeys), which is all matching by path needs: the file
    // name, folder and location keys wait until keys() asks for them.
    const QStringList& distinctKeys(const MediaFile& file);
    // The same where the caller already holds lowerKey(file.path): it is shared, not made again.
    const QStringList& distinctKeys(const MediaFile& file, const QString& lowerPath);
    // Room for this many entries' keys, so a large list is keyed without regrowing the table.
    void reserve(qsizetype entries);
    // The project's media paths, lower-cased, in its order.
    const QStringList& projectPaths(const ProjectFile& project);

    // Sets the resolved location of an entry whose keys were made from `location` (else nothing).
    void setCanonicalLocation(const QUuid& id, const QString& location, QString lowerCanonical);

    // Drops the keys of entries and projects that left the lists.
    void prune(const QList<MediaFile>& mediaFiles, const QList<ProjectFile>& projects);
    qsizetype entryCount() const { return m_entries.size(); }

    // Lower-cased without the locale, in canonical (NFC) form.
    static QString lowerKey(const QString& path);

private:
    MediaPathKeys& pathKeys(const MediaFile& file, const QString* lowerPath = nullptr);

    struct ProjectKeys {
        QStringList source;
        QStringList lowered;
    };
    QHash<QUuid, MediaPathKeys> m_entries;
    QHash<QUuid, ProjectKeys> m_projects;
};

} // namespace tarnwick
