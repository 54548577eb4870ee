#pragma once

#include "model/MediaFileStatus.h"
#include "model/StorageType.h"
#include "platform/FileStatProbe.h"
#include "platform/TextKey.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <QtGlobal>
#include <memory>
#include <optional>

namespace tarnwick {

class MountTable;

// The relative-path candidates of one path: each loaded project's, in project order, each once.
// Nearly every path has one: that one is kept without an allocation.
using RelativeCandidateList = QVarLengthArray<QString, 1>;
// The candidates of the loaded projects by path. The check takes the first of a path's candidates
// that exists: a copy of a project with its media elsewhere may name the only one that does.
// Keyed by relativeCandidateKey.
using RelativeCandidates = QHash<QString, RelativeCandidateList>;
// A path's key among the candidates: its composed spelling. Both spellings of a name are one entry,
// and a project of either spelling may give the candidate that exists.
inline QString relativeCandidateKey(const QString& path) {
    return text::nfc(path);
}

// The status, resolved path, size and storage type of one checked path.
struct FileStatusResult {
    QString path; // as asked
    // online, matching, offline or needsAccess; networkOffline when the check did not answer
    MediaFileStatus status = MediaFileStatus::offline;
    QString resolvedPath; // a different existing path for matching, else `path`
    qint64 size = 0;
    StorageType storageType = StorageType::local; // of `path`, not of `resolvedPath`
    // What the check's stat found at `resolvedPath`, when it stat'ed it: consolidation compares
    // files by identity and need not stat them again.
    std::optional<FileFacts> facts = std::nullopt;

    friend bool operator==(const FileStatusResult&, const FileStatusResult&) = default;
};

// The per-path check of the file scans. Never writes to disk, never fails.
class FileStatusChecking {
public:
    // What a check reads from the project manager, taken before a scan starts; worker threads
    // never reach the manager or the grant store.
    struct Options {
        bool ignoreFileExtension = false;
        bool isSandboxed = false;
        // Granted roots of the grant store: session roots when sandboxed, bookmarked roots otherwise.
        QStringList grantedRoots;
        // Read once per scan; null: no file system is recognised as network storage.
        std::shared_ptr<const MountTable> mountTable;
    };

    virtual ~FileStatusChecking() = default;

    // `relativeCandidates`: the merged relative-path candidates of the loaded projects.
    virtual FileStatusResult makeFileStatusResult(const QString& path,
                                                  const RelativeCandidates& relativeCandidates,
                                                  const Options& options) const = 0;

    // Whether nothing below `folder` can be reached (it is missing, not a folder, or out of reach),
    // so that its paths need no look of their own on disk. The default never says so.
    virtual bool isUnreachableFolder(const QString&) const { return false; }
    // The same as makeFileStatusResult for a path whose folder isUnreachableFolder said so of.
    virtual FileStatusResult makeResultInUnreachableFolder(const QString& path,
                                                           const RelativeCandidates& relativeCandidates,
                                                           const Options& options) const {
        return makeFileStatusResult(path, relativeCandidates, options);
    }
};

} // namespace tarnwick
