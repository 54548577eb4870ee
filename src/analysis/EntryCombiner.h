#pragma once

#include "model/MediaFile.h"
#include "model/RecycleBinItem.h"

#include <QList>
#include <QString>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace tarnwick {

class ProjectManager;

// The user's manual merge of chosen media entries into the first one (no same-file test).
class EntryCombiner {
public:
    // Source into target, the consolidation's merge rule.
    using MergeFunction = std::function<void(const MediaFile& source, MediaFile& target)>;

    struct Outcome {
        bool combined = false;   // false: fewer than two entries, or the target is gone
        QString targetPath;      // the target's path
        int removedEntries = 0;  // media entries that left the list
        int removedBinItems = 0; // recycle-bin items that left the bin
    };

    explicit EntryCombiner(MergeFunction merge) : m_merge(std::move(merge)) {}

    // Merges every other selected entry into the media entry holding the target's path, then drops
    // their entries from the list and the bin. A selected entry whose path is the target's is skipped:
    // dropping "its" entry would drop the target itself.
    Outcome combine(const QList<MediaFile>& selection, QList<MediaFile>& mediaFiles,
                    QList<RecycleBinItem>& recycleBin) const;

    // "Combined N entries into: name" (or "unknown" when no entry holds the target's path).
    static QString combinedMessage(qsizetype selectionCount, const QString& targetPath,
                                   const QList<MediaFile>& mediaFiles);

    // The media table's "Combine N Files": merges the selection (the first is the target), then
    // refreshes duplicates, similar names and the summary. False when nothing was combined, or when
    // another operation is running: then it waits in the manager's queue and combines the entries
    // of the selection still listed when its turn comes. `done` runs once it happened.
    static QCoro::Task<bool> combineEntries(ProjectManager& manager, QList<MediaFile> selection,
                                            std::function<void()> done = {});

    // Writes the duplicate marks of a detection run into the entries of `current` with the same id,
    // so entries changed meanwhile keep everything else. Returns how many entries were found.
    static int applyDuplicateMarks(QList<MediaFile>& current, const QList<MediaFile>& detected);

private:
    MergeFunction m_merge;
};

} // namespace tarnwick
