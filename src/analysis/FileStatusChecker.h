#pragma once

#include "analysis/FileStatusChecking.h"

#include <QString>

#include <memory>
#include <optional>
#include <utility>

namespace tarnwick {

class FileStatProbe;
struct FileFacts;

// The file status check: is the file there, found elsewhere, missing, or on a volume the sandbox
// may not read; its size and storage type. One stat(2) per present path.
class FileStatusChecker : public FileStatusChecking {
public:
    struct StatusDecision {
        MediaFileStatus status = MediaFileStatus::offline;
        QString resolvedPath;
        qint64 size = 0;
        std::optional<FileFacts> facts = std::nullopt; // of resolvedPath, when stat'ed
    };

    // Null probe: stat(2) itself.
    explicit FileStatusChecker(std::shared_ptr<const FileStatProbe> probe = {});

    FileStatusResult makeFileStatusResult(const QString& path, const RelativeCandidates& relativeCandidates,
                                          const Options& options) const override;
    bool isUnreachableFolder(const QString& folder) const override;
    // Decided as makeFileStatusResult decides a path its stat did not find, without that stat.
    FileStatusResult makeResultInUnreachableFolder(const QString& path,
                                                   const RelativeCandidates& relativeCandidates,
                                                   const Options& options) const override;

    StorageType detectStorageType(const QString& path, const Options& options) const;

    // Total size of everything below a folder (an RDC container); 0 when it cannot be walked.
    qint64 folderSize(const QString& folder) const;
    // Another media file of the same folder with the same base name: regular, not hidden, a media
    // extension, never a sidecar (xmp, thm, lrv, ...); the first in name order.
    std::optional<QString> findFileIgnoringExtension(const QString& path) const;

    // Whether a name's extension is one the same-base-name search may pick.
    static bool isMediaExtension(const QString& extension);

private:
    FileStatusResult resultFrom(const QString& path, const std::optional<FileFacts>& facts,
                                const RelativeCandidates& relativeCandidates, const Options& options) const;
    StatusDecision decide(const QString& path, const std::optional<FileFacts>& facts,
                          const RelativeCandidateList& alternatePaths, const Options& options) const;
    qint64 sizeOf(const QString& path) const;
    // The path under its other Unicode spelling (composed or decomposed) when the disk holds that one.
    std::optional<std::pair<QString, FileFacts>> existingSpelling(const QString& path) const;

    std::shared_ptr<const FileStatProbe> m_probe;
};

} // namespace tarnwick
