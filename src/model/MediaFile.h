#pragma once

#include "model/FreshId.h"
#include "model/MediaFileStatus.h"
#include "model/MediaUsageType.h"
#include "model/SimilarFiles.h"
#include "model/StorageType.h"

#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One media file referenced by the imported projects. Identity for lists is `id`; for sets and
// maps it is `path`. Equality compares every field but `id` (texts by canonical equivalence).
struct MediaFile {
    QUuid id = freshId();
    QString path;
    qint64 size = 0;
    int usageCount = 0;
    MediaUsageType usageType = MediaUsageType::unused;
    MediaFileStatus status = MediaFileStatus::checking;
    StorageType storageType = StorageType::local;
    QString lastKnownPath;
    QStringList projectNames;
    QStringList sequenceNames;
    std::optional<QString> matchedPath;
    std::optional<QString> movedToPath;
    QStringList alternativePaths;
    std::optional<QString> duplicateOfPath;
    SimilarFiles similarFiles;
    std::optional<QString> fileHash;
    std::optional<QString> transcodedPath;
    std::optional<qint64> transcodedSize;
    QStringList linkedAEProjects;
    std::optional<QString> proxyPath;
    // The used Character Animator project (its path) whose folder holds this file: the scene's data,
    // needed while a timeline uses the scene. Set with `needsReview`.
    std::optional<QString> characterAnimatorProject;
    // The flags together at the end: spread between the larger fields each one cost a padded word,
    // and a list holds a million of these.
    bool hasUnattributedSequenceUsage = false;
    bool isAEFootage = false;
    bool hasUnresolvedAELink = false;
    bool isFromDaVinciCSV = false;
    bool needsReview = false;
    bool isProtected = false;

    bool isOnDisk() const;
    bool isOffline() const;
    QString fileName() const;
    QString projectNamesText() const;
    QString sequenceNamesText() const;
    QString displayPath() const;
    std::optional<QString> redClipFolder() const;
    // Why the file needs review as part of a used Character Animator project; empty when it is not.
    QString characterAnimatorReason() const;

    friend bool operator==(const MediaFile& a, const MediaFile& b);
};

size_t qHash(const MediaFile& file, size_t seed = 0);

} // namespace tarnwick

template <> struct std::hash<tarnwick::MediaFile> {
    size_t operator()(const tarnwick::MediaFile& f) const noexcept { return tarnwick::qHash(f); }
};
