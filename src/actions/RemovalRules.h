#pragma once

#include "model/MediaFile.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>

#include <optional>

namespace tarnwick {

class ProjectManager;

// The per-file rules of the clean-up actions that take files away (Trash, deletion, moves):
// RED .RDC containers, proxies, and whether a staged file became used since it was staged.
// Reads the manager's media list live (statuses changed earlier in a run count); the lookup
// tables are built once per instance and every hit is checked against the live list, so they
// stay safe after an await. GUI thread only; one instance per run. Made from a copy of the list
// instead, it reads only that copy, on any thread.
class RemovalRules {
public:
    explicit RemovalRules(const ProjectManager& manager);
    explicit RemovalRules(QList<MediaFile> list);

    // matchedPath when set, else path.
    static QString workingPath(const MediaFile& file);
    // The last component of path (never of matchedPath): the name in every message.
    static QString nameOf(const MediaFile& file);
    // Usage above 0 or After Effects footage, and neither deleted nor moved.
    static bool isInUse(const MediaFile& file);
    // The container as a path prefix ("/" appended unless present).
    static QString containerPrefix(const QString& container);
    // Position of the first entry per exact path. Any thread.
    static QHash<QString, qsizetype> firstIndexByPath(const QList<MediaFile>& files);

    // The first in-use entry whose working path lies inside `container`. The prefix is compared
    // ignoring case: a container must not be removed for a member reached in another spelling.
    std::optional<MediaFile> mediaFileInsideContainer(const QString& container) const;
    // The live entry of a staged file (by exact path), when it became used, or more used, since
    // it was staged (`staged` is the bin's copy, which keeps the use the user saw).
    std::optional<MediaFile> liveUseOf(const MediaFile& staged) const;
    // An in-use entry whose path or matchedPath is `proxy` (exact, then ignoring case).
    std::optional<MediaFile> entryUsingProxy(const QString& proxy) const;
    // Position of the first entry with exactly this path in the live list, or -1.
    qsizetype indexOfEntry(const QString& path) const;
    // The same by the table alone, for many paths at once: -1 where the table (made again when
    // the list's size changed) has no entry, without a scan of the list.
    qsizetype indexedEntry(const QString& path) const;
    // Positions of the entries whose working path lies inside `container` (case kept).
    QList<qsizetype> entriesInsideContainer(const QString& container) const;

    // Containers removed (or moved) in this run; later members count as handled with them.
    QSet<QString>& handledContainers() { return m_handledContainers; }

    // The user's error texts.
    static QString containerRefusedText(const QString& name, const MediaFile& usedMember);
    static QString protectedText(const QString& name);
    static QString nowInUseText(const QString& name);
    static QString isFolderText(const QString& name);
    // Another file took the staged file's name, or it was written to, after the user confirmed.
    static QString changedText(const QString& name);
    // The same without the name, for a log line that names the path itself.
    static QString changedReason();

private:
    const QList<MediaFile>& list() const;
    void buildPathIndex() const;
    void buildContainerIndex() const;
    void buildLowerIndex() const;

    QPointer<const ProjectManager> m_manager;
    QList<MediaFile> m_list; // without a manager
    QSet<QString> m_handledContainers;
    mutable bool m_pathIndexBuilt = false;
    mutable QHash<QString, qsizetype> m_firstByPath;
    mutable QHash<QString, QList<qsizetype>> m_byLowerPathOrMatch;
    mutable qsizetype m_pathIndexSize = 0;
    mutable bool m_lowerIndexBuilt = false;
    mutable qsizetype m_lowerIndexSize = 0;
    mutable qsizetype m_containerIndexSize = 0;
    mutable bool m_containerIndexBuilt = false;
    // Lower-cased .rdc folder → entries whose working path lies below it.
    mutable QHash<QString, QList<qsizetype>> m_byLowerContainer;
};

} // namespace tarnwick
