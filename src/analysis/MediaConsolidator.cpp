#include "analysis/MediaConsolidator.h"

#include "model/PathComponents.h"
#include "platform/AppLog.h"
#include "platform/FileStatProbe.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QHash>
#include <QSet>

#include <utility>
#include <vector>

namespace tarnwick {

namespace {

int usageRank(MediaUsageType type) {
    switch (type) {
    case MediaUsageType::videoAndAudio:
        return 4;
    case MediaUsageType::videoOnly:
        return 3;
    case MediaUsageType::audioOnly:
        return 2;
    case MediaUsageType::usedInAfterEffects:
        return 1;
    case MediaUsageType::unused:
        return 0;
    }
    return 0;
}

void appendMissing(QStringList& target, const QStringList& source) {
    for (const QString& value : source) {
        if (!target.contains(value))
            target.append(value);
    }
}

QString effectivePath(const MediaFile& file) {
    return file.matchedPath ? *file.matchedPath : file.path;
}

// Two paths name the same file by the path rule when their last two components agree (lower-cased,
// "\" read as "/"); a path of fewer components only when the whole lower-cased text is equal.
QString tailKey(const QString& path) {
    const QStringList components = pathComponentsHelper(path);
    if (components.size() >= 2)
        return components[components.size() - 2] + QLatin1Char('/') + components.last();
    return QLatin1Char('\x01') + text::lowered(path);
}

// The tail keys of one entry, kept in step with its merges.
struct EntryKeys {
    QString path;
    QString matched; // empty when there is no matched path
    QSet<QString> alternatives;
    qsizetype alternativesSeen = 0;

    void refresh(const MediaFile& file) {
        if (path.isEmpty())
            path = tailKey(file.path);
        matched = file.matchedPath ? tailKey(*file.matchedPath) : QString();
        for (; alternativesSeen < file.alternativePaths.size(); ++alternativesSeen)
            alternatives.insert(tailKey(file.alternativePaths[alternativesSeen]));
    }
};

// The pairs of the path rule: (a.path | a.matched | a.alternatives, b.path), (a.path | a.matched,
// b.matched), (a.path, b.alternatives).
bool keysAgree(const EntryKeys& a, const EntryKeys& b) {
    if (b.path == a.path || (!a.matched.isEmpty() && b.path == a.matched) || a.alternatives.contains(b.path))
        return true;
    if (!b.matched.isEmpty() && (b.matched == a.path || b.matched == a.matched))
        return true;
    return b.alternatives.contains(a.path);
}

bool sizesAgree(const MediaFile& a, const MediaFile& b) {
    return a.size >= 1 && b.size >= 1 && a.size == b.size;
}

void logMerge(const MediaFile& survivor, const MediaFile& merged) {
    AppLog::info(QStringLiteral("Consolidated: ") + path::lastPathComponent(survivor.path) +
                 QStringLiteral(" — merged ") + merged.path + QStringLiteral(" into ") + survivor.path);
}

} // namespace

MediaConsolidator::MediaConsolidator(std::shared_ptr<const FileStatProbe> probe)
    : m_probe(probe ? std::move(probe) : FileStatProbe::system()) {}

std::optional<FileFacts> MediaConsolidator::identityOf(const MediaFile& file) const {
    return file.isOnDisk() ? m_probe->stat(effectivePath(file)) : std::nullopt;
}

bool MediaConsolidator::namesAndSizeAgree(const MediaFile& a, const MediaFile& b) {
    if (!sizesAgree(a, b))
        return false;
    EntryKeys keysA;
    EntryKeys keysB;
    keysA.refresh(a);
    keysB.refresh(b);
    return keysAgree(keysA, keysB);
}

bool MediaConsolidator::isSamePhysicalFile(const MediaFile& a, const MediaFile& b) const {
    if (a.isOnDisk() && b.isOnDisk()) {
        const auto factsA = identityOf(a);
        const auto factsB = factsA ? identityOf(b) : std::nullopt;
        if (factsA && factsB && factsA->isSameFileAs(*factsB))
            return true;
    }
    return namesAndSizeAgree(a, b);
}

void MediaConsolidator::mergeEntry(const MediaFile& source, MediaFile& target) {
    QSet<QString> known{text::lowered(target.path)};
    for (const QString& alternative : std::as_const(target.alternativePaths))
        known.insert(text::lowered(alternative));
    if (target.matchedPath)
        known.insert(text::lowered(*target.matchedPath));
    QStringList sourcePaths{source.path};
    sourcePaths += source.alternativePaths;
    if (source.matchedPath)
        sourcePaths.append(*source.matchedPath);
    for (const QString& candidate : std::as_const(sourcePaths)) {
        const QString key = text::lowered(candidate);
        if (!known.contains(key)) {
            target.alternativePaths.append(candidate);
            known.insert(key);
        }
    }

    target.usageCount += source.usageCount;
    if (usageRank(source.usageType) > usageRank(target.usageType))
        target.usageType = source.usageType;
    target.isAEFootage = target.isAEFootage || source.isAEFootage;
    target.hasUnresolvedAELink = target.hasUnresolvedAELink || source.hasUnresolvedAELink;
    target.isFromDaVinciCSV = target.isFromDaVinciCSV || source.isFromDaVinciCSV;
    target.needsReview = target.needsReview || source.needsReview;
    target.isProtected = target.isProtected || source.isProtected;
    appendMissing(target.sequenceNames, source.sequenceNames);
    appendMissing(target.linkedAEProjects, source.linkedAEProjects);
    appendMissing(target.projectNames, source.projectNames);

    if (!target.isOnDisk() && source.isOnDisk()) {
        const MediaFileStatus s = target.status;
        if (s != MediaFileStatus::inRecycleBin && s != MediaFileStatus::deleted &&
            s != MediaFileStatus::moved && s != MediaFileStatus::transcoded)
            target.status = source.status;
        const QString found = effectivePath(source);
        if (text::lowered(found) == text::lowered(target.path))
            target.matchedPath.reset();
        else
            target.matchedPath = found;
    }

    if (!target.proxyPath)
        target.proxyPath = source.proxyPath;
    if (target.size == 0 && source.size >= 1)
        target.size = source.size;
    const auto isPlain = [](StorageType t) { return t == StorageType::local || t == StorageType::unknown; };
    if (isPlain(target.storageType) && !isPlain(source.storageType))
        target.storageType = source.storageType;
}

QList<MediaFile> MediaConsolidator::consolidateCrossProjectDuplicates(QList<MediaFile> files) const {
    AppLog::info(QStringLiteral("Consolidating cross-project duplicate entries among ") +
                 QString::number(files.size()) + QStringLiteral(" files"));
    const qsizetype count = files.size();
    // One stat per entry on disk, kept for every comparison it takes part in.
    std::vector<std::optional<FileFacts>> identity(static_cast<std::size_t>(count));
    std::vector<EntryKeys> keys(static_cast<std::size_t>(count));
    std::vector<bool> mergedAway(static_cast<std::size_t>(count), false);
    QHash<QString, QList<qsizetype>> byName;
    for (qsizetype i = 0; i < count; ++i) {
        identity[std::size_t(i)] = identityOf(files[i]);
        byName[text::lowered(path::lastPathComponent(files[i].path))].append(i);
    }

    int mergedCount = 0;
    const auto merge = [&](qsizetype i, qsizetype j) {
        MediaFile& survivor = files[i];
        const bool wasOnDisk = survivor.isOnDisk();
        logMerge(survivor, files[j]);
        mergeEntry(files[j], survivor);
        // The survivor now reads the other entry's file.
        if (!wasOnDisk && survivor.isOnDisk())
            identity[std::size_t(i)] = identity[std::size_t(j)];
        keys[std::size_t(i)].refresh(survivor);
        mergedAway[std::size_t(j)] = true;
        ++mergedCount;
    };
    const auto samePhysicalFile = [&](qsizetype i, qsizetype j) {
        const MediaFile& a = files[i];
        const MediaFile& b = files[j];
        const auto& idA = identity[std::size_t(i)];
        const auto& idB = identity[std::size_t(j)];
        if (a.isOnDisk() && b.isOnDisk() && idA && idB && idA->isSameFileAs(*idB))
            return true;
        return sizesAgree(a, b) && keysAgree(keys[std::size_t(i)], keys[std::size_t(j)]);
    };

    for (const QList<qsizetype>& group : std::as_const(byName)) {
        if (group.size() < 2)
            continue;
        QSet<QString> distinctPaths;
        for (qsizetype i : group)
            distinctPaths.insert(files[i].path);
        if (distinctPaths.size() < 2)
            continue;
        for (qsizetype i : group)
            keys[std::size_t(i)].refresh(files[i]);
        for (qsizetype gi = 0; gi < group.size(); ++gi) {
            const qsizetype i = group[gi];
            if (mergedAway[std::size_t(i)])
                continue;
            for (qsizetype gj = gi + 1; gj < group.size(); ++gj) {
                const qsizetype j = group[gj];
                if (mergedAway[std::size_t(j)] || !(files[i].isOnDisk() || files[j].isOnDisk()))
                    continue;
                if (samePhysicalFile(i, j))
                    merge(i, j);
            }
        }
    }

    // A symbolic or hard link under another name is the same file too: merge by (device, inode).
    QHash<std::pair<quint64, quint64>, qsizetype> firstWithIdentity;
    for (qsizetype i = 0; i < count; ++i) {
        const auto& id = identity[std::size_t(i)];
        if (mergedAway[std::size_t(i)] || !id || !files[i].isOnDisk())
            continue;
        const std::pair<quint64, quint64> key{id->device, id->inode};
        const auto it = firstWithIdentity.constFind(key);
        if (it == firstWithIdentity.constEnd())
            firstWithIdentity.insert(key, i);
        else if (files[it.value()].path != files[i].path)
            merge(it.value(), i);
    }

    if (mergedCount > 0) {
        AppLog::info(QStringLiteral("Consolidated ") + QString::number(mergedCount) +
                     QStringLiteral(" cross-project duplicate(s)"));
        QList<MediaFile> kept;
        kept.reserve(count - mergedCount);
        for (qsizetype i = 0; i < count; ++i) {
            if (!mergedAway[std::size_t(i)])
                kept.append(std::move(files[i]));
        }
        return kept;
    }
    return files;
}

} // namespace tarnwick
