#pragma once

#include "model/MediaFile.h"
#include "platform/FileStatProbe.h"

#include <QHash>
#include <QString>

#include <QList>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tarnwick {

class FileStatProbe;

// Merges entries of the media list that are one physical file under several paths: same file
// name and folder name and size, or the same (device, inode) whatever the names (a symbolic or
// hard link under another name). At most one stat(2) per entry, each under a watchdog: a stat that
// does not answer (a share that went away) leaves that entry to the name and size rule.
class MediaConsolidator {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{15000};

    // Null probe: stat(2) itself.
    explicit MediaConsolidator(std::shared_ptr<const FileStatProbe> probe = {},
                               std::chrono::milliseconds timeout = defaultTimeout);

    // What a file check stat'ed a moment ago, by the path it stat'ed (an entry's matchedPath, else
    // its path): such files are not stat'ed again.
    using KnownFacts = QHash<QString, FileFacts>;

    // What consolidating a list changes, found without changing it: the survivors' new records
    // and the positions merged away. Applied in place, so a list nothing merges is never copied.
    struct Consolidation {
        std::vector<std::pair<qsizetype, MediaFile>> survivors; // by ascending position
        std::vector<bool> mergedAway;                           // empty when nothing merged
        qsizetype mergedCount = 0;

        bool mergedAwayAt(qsizetype position) const {
            return !mergedAway.empty() && mergedAway[std::size_t(position)];
        }
        // Into the list it was found on (unchanged since).
        void applyTo(QList<MediaFile>& files) &&;
    };

    // The first entry of each set of one physical file survives and absorbs the later ones.
    Consolidation consolidationOf(const QList<MediaFile>& files, const KnownFacts& known = {}) const;
    QList<MediaFile> consolidateCrossProjectDuplicates(QList<MediaFile> files,
                                                       const KnownFacts& known = {}) const;

    // Stats both entries' files when both are on disk.
    bool isSamePhysicalFile(const MediaFile& a, const MediaFile& b) const;

    // Source into target (the target changes, the source does not); also the manual combination's rule.
    static void mergeEntry(const MediaFile& source, MediaFile& target);

    // The path and size rule alone, after the identity test did not decide.
    static bool namesAndSizeAgree(const MediaFile& a, const MediaFile& b);

private:
    std::optional<FileFacts> identityOf(const MediaFile& file) const;
    std::vector<std::optional<FileFacts>> identitiesOf(const QList<MediaFile>& files,
                                                       const KnownFacts& known) const;

    std::shared_ptr<const FileStatProbe> m_probe;
    std::chrono::milliseconds m_timeout;
};

} // namespace tarnwick
