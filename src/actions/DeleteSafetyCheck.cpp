#include "actions/DeleteSafetyCheck.h"

#include "actions/RemovalRules.h"
#include "analysis/LowerPathCache.h"
#include "analysis/ProjectManager.h"
#include "platform/PathText.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace tarnwick {

namespace {

struct Tables {
    QHash<QString, qsizetype> position;
    QHash<QString, qsizetype> usedByPath;
    QHash<QString, QList<qsizetype>> usedByNameAndSize;
    QHash<QString, QList<qsizetype>> usedByAlternativePath;
};

QString nameAndSizeKey(const QString& path, qint64 size) {
    return LowerPathCache::lowerKey(path::lastPathComponent(path)) + QLatin1Char('|') + QString::number(size);
}

Tables buildTables(const QList<MediaFile>& mediaFiles) {
    Tables tables;
    tables.position.reserve(mediaFiles.size());
    for (qsizetype i = 0; i < mediaFiles.size(); ++i) {
        const MediaFile& file = mediaFiles[i];
        const QString lowerPath = LowerPathCache::lowerKey(file.path);
        tables.position.insert(lowerPath, i);
        if (!RemovalRules::isInUse(file))
            continue;
        tables.usedByPath.insert(lowerPath, i);
        if (file.size > 0)
            tables.usedByNameAndSize[nameAndSizeKey(file.path, file.size)].append(i);
        for (const QString& alternative : file.alternativePaths)
            tables.usedByAlternativePath[LowerPathCache::lowerKey(alternative)].append(i);
    }
    return tables;
}

QSet<QString> loweredSet(const QStringList& paths) {
    QSet<QString> set;
    set.reserve(paths.size());
    for (const QString& path : paths)
        set.insert(LowerPathCache::lowerKey(path));
    return set;
}

QString usageText(const MediaFile& used) {
    if (used.usageCount < 1)
        return QStringLiteral("used in After Effects");
    return QStringLiteral("used ") + QString::number(used.usageCount) + QChar(0x00D7);
}

// The used entries tied to `file`, each once, in media-list order.
QList<qsizetype> candidatesFor(const MediaFile& file, const QString& lowerPath, const QList<MediaFile>& mediaFiles,
                               const Tables& tables) {
    QList<qsizetype> candidates;
    QSet<QString> seen;
    const auto add = [&](qsizetype index) {
        const QString key = LowerPathCache::lowerKey(mediaFiles[index].path);
        if (!seen.contains(key)) {
            seen.insert(key);
            candidates.append(index);
        }
    };
    if (file.size > 0) {
        for (const qsizetype index : tables.usedByNameAndSize.value(nameAndSizeKey(file.path, file.size)))
            add(index);
    }
    for (const qsizetype index : tables.usedByAlternativePath.value(lowerPath))
        add(index);
    for (const QString& alternative : file.alternativePaths) {
        const auto hit = tables.usedByPath.constFind(LowerPathCache::lowerKey(alternative));
        if (hit != tables.usedByPath.cend())
            add(*hit);
    }
    const auto positionOf = [&](qsizetype index) {
        return tables.position.value(LowerPathCache::lowerKey(mediaFiles[index].path), 0);
    };
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](qsizetype a, qsizetype b) { return positionOf(a) < positionOf(b); });
    return candidates;
}

} // namespace

QList<DeleteSafetyConflict> DeleteSafetyCheck::findDeleteSafetyConflicts(const QList<MediaFile>& mediaFiles,
                                                                         const QList<MediaFile>& files) {
    const Tables tables = buildTables(mediaFiles);
    QList<DeleteSafetyConflict> conflicts;
    for (const MediaFile& file : files) {
        const QString name = path::lastPathComponent(file.path);
        if (file.hasUnresolvedAELink) {
            conflicts.append({file, file,
                              name + QStringLiteral(" may be referenced in a linked After Effects composition "
                                                    "(.aep file not found)")});
        }
        const QString lowerPath = LowerPathCache::lowerKey(file.path);
        const QList<qsizetype> candidates = candidatesFor(file, lowerPath, mediaFiles, tables);
        if (candidates.isEmpty())
            continue;
        const QSet<QString> ownAlternatives = loweredSet(file.alternativePaths);
        const QString lowerName = LowerPathCache::lowerKey(name);
        for (const qsizetype index : candidates) {
            const MediaFile& used = mediaFiles[index];
            const QString usedLowerPath = LowerPathCache::lowerKey(used.path);
            if (usedLowerPath == lowerPath)
                continue;
            const QString projects = QLatin1Char('"') + used.projectNames.join(QStringLiteral(", ")) + QLatin1Char('"');
            if (ownAlternatives.contains(usedLowerPath) || loweredSet(used.alternativePaths).contains(lowerPath)) {
                conflicts.append({file, used,
                                  name + QStringLiteral(" is ") + usageText(used) + QStringLiteral(" in ") + projects +
                                      QStringLiteral(" via a consolidated path")});
            } else if (LowerPathCache::lowerKey(used.fileName()) == lowerName && file.size > 0 &&
                       file.size == used.size) {
                conflicts.append({file, used,
                                  name + QStringLiteral(" appears to be the same file ") + usageText(used) +
                                      QStringLiteral(" in ") + projects + QStringLiteral(" at:\n") + used.path});
            }
        }
    }
    return conflicts;
}

QList<DeleteSafetyConflict> DeleteSafetyCheck::findDeleteSafetyConflicts(const ProjectManager& manager,
                                                                         const QList<MediaFile>& files) {
    return findDeleteSafetyConflicts(manager.mediaFiles(), files);
}

QList<MediaFile> DeleteSafetyCheck::safeUnusedFiles(const QList<MediaFile>& mediaFiles) {
    QList<MediaFile> unused;
    for (const MediaFile& file : mediaFiles) {
        if (file.usageCount == 0 && !file.isAEFootage && file.isOnDisk() && !file.needsReview)
            unused.append(file);
    }
    QSet<QString> conflicting;
    for (const DeleteSafetyConflict& conflict : findDeleteSafetyConflicts(mediaFiles, unused))
        conflicting.insert(conflict.fileToDelete.path);
    if (!conflicting.isEmpty())
        unused.removeIf([&](const MediaFile& file) { return conflicting.contains(file.path); });
    return unused;
}

QList<MediaFile> DeleteSafetyCheck::safeUnusedFiles(const ProjectManager& manager) {
    return safeUnusedFiles(manager.mediaFiles());
}

} // namespace tarnwick
