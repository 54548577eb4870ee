#pragma once

#include "model/MediaFile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace tarnwick {

// Links entries whose file names reduce to one base name (A001, A001_proxy, A001_lowres, A001_12).
class SimilarNameDetector {
public:
    // One shared path list per group (memory linear in the list, however large a group).
    struct Groups {
        // Per entry of the list handed in: its group's paths in list order, or null.
        QList<std::shared_ptr<const SimilarFiles::Group>> groupOf;

        // The other paths of entry i's group, in list order (the value of its `similarFiles`).
        SimilarFiles similarFiles(qsizetype i, const QString& ownPath) const;
    };

    // The base name of a file name without extension ("A001_proxy" -> "A001"); empty for "".
    static QString baseName(const QString& nameWithoutExtension);
    // The same through the regular expression alone, for every name (the reference the fast path
    // of baseName() is checked against).
    static QString patternBaseName(const QString& nameWithoutExtension);

    static Groups detectGroups(const QList<MediaFile>& files);
    // The same from the entries' paths alone (position i: entry i's path).
    static Groups detectGroups(const QStringList& paths);

    // Fills `similarFiles` of every entry in a group of two or more; others keep theirs. Logs.
    static QList<MediaFile> detectSimilarFilenames(QList<MediaFile> files);
    // The same in two steps: the groups (from the paths, before the entries are final), then each
    // entry's field, one at a time in any order, and the final log line.
    static void fill(MediaFile& file, qsizetype position, const Groups& groups);
    static void logFound(qsizetype withSimilar);
};

} // namespace tarnwick
