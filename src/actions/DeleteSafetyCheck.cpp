#include "actions/DeleteSafetyCheck.h"

#include "actions/FoldedPath.h"
#include "actions/RemovalRules.h"
#include "analysis/CharacterAnimatorFolders.h"
#include "analysis/LowerPathCache.h"
#include "analysis/ProjectManager.h"
#include "platform/PathText.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>

namespace tarnwick {

namespace {

// The working tables, keyed by what the input can ask for: the input is small next to the media
// list, so the entries are tested against small tables of the input's sizes and paths instead of
// filling tables as large as the list (random access over 100,000 entries costs more than the
// pass itself). Keys compare like lower-cased paths without lower-casing every path, and most
// entries are turned away by a prefilter that fits the first-level cache before any table is read.
class Tables {
public:
    Tables(const QList<MediaFile>& mediaFiles, const QList<MediaFile>& inputs)
        : m_files(mediaFiles), m_sizeFilter(inputs.size()), m_pathFilter(inputs.size()),
          m_alternativeFilter(inputs.size()) {
        QSet<qint64> sizes;
        QSet<FoldedPath> paths;
        QSet<FoldedPath> alternatives;
        sizes.reserve(inputs.size());
        paths.reserve(inputs.size());
        alternatives.reserve(inputs.size() / 4);
        for (const MediaFile& file : inputs) {
            if (file.size > 0) {
                sizes.insert(file.size);
                m_sizeFilter.add(size_t(file.size));
            }
            FoldedPath path{file.path};
            m_pathFilter.add(path.hash);
            paths.insert(std::move(path));
            for (const QString& alternative : file.alternativePaths) {
                FoldedPath key{alternative};
                m_alternativeFilter.add(key.hash);
                alternatives.insert(std::move(key));
            }
        }
        for (qsizetype i = 0; i < m_files.size(); ++i) {
            const MediaFile& file = m_files[i];
            if (!RemovalRules::isInUse(file))
                continue;
            if (file.size > 0 && m_sizeFilter.mayContain(size_t(file.size)) && sizes.contains(file.size))
                m_usedBySize[file.size].append(i);
            for (const QString& alternative : file.alternativePaths) {
                FoldedPath key{alternative};
                if (m_pathFilter.mayContain(key.hash) && paths.contains(key))
                    m_usedByAlternativePath[std::move(key)].append(i);
            }
            if (!alternatives.isEmpty()) {
                FoldedPath key{file.path};
                // The later entry wins.
                if (m_alternativeFilter.mayContain(key.hash) && alternatives.contains(key))
                    m_usedByPath.insert(std::move(key), i);
            }
        }
    }

    // Used entries with this size whose name equals `name` ignoring case, in list order.
    QList<qsizetype> usedByNameAndSize(const QString& name, qint64 size) const {
        QList<qsizetype> found;
        if (!m_sizeFilter.mayContain(size_t(size)))
            return found;
        const auto bySize = m_usedBySize.constFind(size);
        if (bySize == m_usedBySize.cend())
            return found;
        for (const qsizetype i : *bySize) {
            if (sameName(name, m_files[i].path))
                found.append(i);
        }
        return found;
    }
    // Both tables are usually empty: then no input path is hashed again.
    QList<qsizetype> usedByAlternativePath(const QString& path) const {
        if (m_usedByAlternativePath.isEmpty())
            return {};
        return m_usedByAlternativePath.value(FoldedPath{path});
    }
    std::optional<qsizetype> usedByPath(const QString& path) const {
        if (m_usedByPath.isEmpty())
            return std::nullopt;
        const auto hit = m_usedByPath.constFind(FoldedPath{path});
        return hit == m_usedByPath.cend() ? std::nullopt : std::optional<qsizetype>(*hit);
    }
    // Position of the last entry with this path ignoring case; 0 when none.
    qsizetype position(const QString& path) const {
        if (!m_positionBuilt) {
            m_position.reserve(m_files.size());
            for (qsizetype i = 0; i < m_files.size(); ++i)
                m_position.insert(FoldedPath{m_files[i].path}, i);
            m_positionBuilt = true;
        }
        return m_position.value(FoldedPath{path}, 0);
    }

    // The last component of `path` equals `name` ignoring case; no copy for the usual ASCII names.
    static bool sameName(const QString& name, const QString& path) {
        if (path.endsWith(QLatin1Char('/')))
            return FoldedPath::sameFolded(name, path::lastPathComponent(path));
        return FoldedPath::sameFolded(name, QStringView(path).mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    }

private:
    const QList<MediaFile>& m_files;
    HashPrefilter m_sizeFilter;
    HashPrefilter m_pathFilter;
    HashPrefilter m_alternativeFilter;
    QHash<qint64, QList<qsizetype>> m_usedBySize;
    QHash<FoldedPath, QList<qsizetype>> m_usedByAlternativePath;
    QHash<FoldedPath, qsizetype> m_usedByPath;
    mutable bool m_positionBuilt = false;
    mutable QHash<FoldedPath, qsizetype> m_position;
};

// The entries of Character Animator projects by path, made once when a file needs them.
class CharacterAnimatorEntries {
public:
    explicit CharacterAnimatorEntries(const QList<MediaFile>& mediaFiles) : m_files(mediaFiles) {}
    // The entry of the project whose data `file` is; the file itself when the list holds no such entry.
    const MediaFile& of(const MediaFile& file) {
        if (!m_byPath) {
            m_byPath.emplace();
            for (qsizetype i = 0; i < m_files.size(); ++i) {
                if (CharacterAnimatorFolders::isProjectPath(m_files[i].path))
                    m_byPath->insert(m_files[i].path, i);
            }
        }
        const qsizetype at = m_byPath->value(*file.characterAnimatorProject, -1);
        return at < 0 ? file : m_files[at];
    }

private:
    const QList<MediaFile>& m_files;
    std::optional<QHash<QString, qsizetype>> m_byPath;
};

QString usageText(const MediaFile& used) {
    if (used.usageCount < 1)
        return QStringLiteral("used in After Effects");
    return QStringLiteral("used ") + QString::number(used.usageCount) + QChar(0x00D7);
}

// The used entries tied to `file`, each path once, in media-list order.
QList<qsizetype> candidatesFor(const MediaFile& file, const QString& name, const QList<MediaFile>& mediaFiles,
                               const Tables& tables) {
    QList<qsizetype> candidates;
    const auto add = [&](qsizetype index) {
        for (const qsizetype seen : std::as_const(candidates)) {
            if (FoldedPath::sameFolded(mediaFiles[seen].path, mediaFiles[index].path))
                return;
        }
        candidates.append(index);
    };
    if (file.size > 0) {
        for (const qsizetype index : tables.usedByNameAndSize(name, file.size))
            add(index);
    }
    for (const qsizetype index : tables.usedByAlternativePath(file.path))
        add(index);
    for (const QString& alternative : file.alternativePaths) {
        if (const std::optional<qsizetype> hit = tables.usedByPath(alternative))
            add(*hit);
    }
    if (candidates.size() > 1) {
        std::stable_sort(candidates.begin(), candidates.end(), [&](qsizetype a, qsizetype b) {
            return tables.position(mediaFiles[a].path) < tables.position(mediaFiles[b].path);
        });
    }
    return candidates;
}

} // namespace

QList<DeleteSafetyConflict> DeleteSafetyCheck::findDeleteSafetyConflicts(const QList<MediaFile>& mediaFiles,
                                                                         const QList<MediaFile>& files) {
    const Tables tables(mediaFiles, files);
    CharacterAnimatorEntries characterAnimator(mediaFiles);
    QList<DeleteSafetyConflict> conflicts;
    const auto quoted = [](const MediaFile& used) -> QString {
        return QLatin1Char('"') + used.projectNames.join(QStringLiteral(", ")) + QLatin1Char('"');
    };
    for (const MediaFile& file : files) {
        const QString name = path::lastPathComponent(file.path);
        // A file a timeline (or an After Effects project) uses is itself the first reason to stop.
        if (RemovalRules::isInUse(file)) {
            conflicts.append(
                {file, file,
                 name + QStringLiteral(" is ") + usageText(file) + QStringLiteral(" in ") + quoted(file)});
        }
        if (file.hasUnresolvedAELink) {
            conflicts.append(
                {file, file,
                 name + QStringLiteral(" may be referenced in a linked After Effects composition "
                                       "(.aep file not found)")});
        }
        if (file.characterAnimatorProject) {
            conflicts.append({file, characterAnimator.of(file),
                              name + QStringLiteral(" is ") + file.characterAnimatorReason()});
        }
        const QList<qsizetype> candidates = candidatesFor(file, name, mediaFiles, tables);
        if (candidates.isEmpty())
            continue;
        const auto listed = [](const QStringList& paths, const QString& path) {
            return std::any_of(paths.cbegin(), paths.cend(),
                               [&](const QString& p) { return FoldedPath::sameFolded(p, path); });
        };
        for (const qsizetype index : candidates) {
            const MediaFile& used = mediaFiles[index];
            if (FoldedPath::sameFolded(used.path, file.path))
                continue;
            const QString projects = quoted(used);
            if (listed(file.alternativePaths, used.path) || listed(used.alternativePaths, file.path)) {
                conflicts.append({file, used,
                                  name + QStringLiteral(" is ") + usageText(used) + QStringLiteral(" in ") +
                                      projects + QStringLiteral(" via a consolidated path")});
            } else if (Tables::sameName(name, used.path) && file.size > 0 && file.size == used.size) {
                conflicts.append({file, used,
                                  name + QStringLiteral(" appears to be the same file ") + usageText(used) +
                                      QStringLiteral(" in ") + projects + QStringLiteral(" at:\n") +
                                      used.path});
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
