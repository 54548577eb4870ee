#include "actions/DeleteSafetyCheck.h"

#include "actions/FoldedPath.h"
#include "actions/RemovalRules.h"
#include "analysis/LowerPathCache.h"
#include "analysis/ProjectManager.h"
#include "platform/PathText.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>
#include <vector>

namespace tarnwick {

namespace {

// The working tables, keyed by what the input can ask for: the input is small next to the media
// list, so the entries are tested against small tables of the input's sizes and paths instead of
// filling tables as large as the list (random access over 100,000 entries costs more than the
// pass itself). Keys compare like lower-cased paths without lower-casing every path.
class Tables {
public:
    Tables(const QList<MediaFile>& mediaFiles, const QList<MediaFile>& inputs) : m_files(mediaFiles) {
        QSet<qint64> sizes;
        QSet<FoldedPath> paths;
        QSet<FoldedPath> alternatives;
        for (const MediaFile& file : inputs) {
            if (file.size > 0)
                sizes.insert(file.size);
            paths.insert(FoldedPath{file.path});
            for (const QString& alternative : file.alternativePaths)
                alternatives.insert(FoldedPath{alternative});
        }
        // Entries of one size are chained through m_nextOfSize, first to last in list order.
        m_nextOfSize.assign(size_t(m_files.size()), -1);
        for (qsizetype i = m_files.size() - 1; i >= 0; --i) {
            const MediaFile& file = m_files[i];
            if (!RemovalRules::isInUse(file))
                continue;
            if (file.size > 0 && sizes.contains(file.size)) {
                qsizetype& first = m_firstOfSize[file.size];
                if (first != 0)
                    m_nextOfSize[size_t(i)] = first - 1;
                first = i + 1;
            }
            for (const QString& alternative : file.alternativePaths) {
                FoldedPath key{alternative};
                if (paths.contains(key))
                    m_usedByAlternativePath[std::move(key)].prepend(i);
            }
            if (!alternatives.isEmpty()) {
                FoldedPath key{file.path};
                // Scanning backwards: the later entry is met first and wins.
                if (alternatives.contains(key) && !m_usedByPath.contains(key))
                    m_usedByPath.insert(std::move(key), i);
            }
        }
    }

    // Used entries with this size whose name equals `name` ignoring case, in list order.
    QList<qsizetype> usedByNameAndSize(const QString& name, qint64 size) const {
        QList<qsizetype> found;
        for (qsizetype i = m_firstOfSize.value(size) - 1; i >= 0; i = m_nextOfSize[size_t(i)]) {
            if (sameName(name, m_files[i].path))
                found.append(i);
        }
        return found;
    }
    QList<qsizetype> usedByAlternativePath(const QString& path) const {
        return m_usedByAlternativePath.value(FoldedPath{path});
    }
    std::optional<qsizetype> usedByPath(const QString& path) const {
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
            return FoldedPath{name} == FoldedPath{path::lastPathComponent(path)};
        const QStringView other = QStringView(path).mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        if (FoldedPath::isAscii(name) && FoldedPath::isAscii(other))
            return name.size() == other.size() && QStringView(name).compare(other, Qt::CaseInsensitive) == 0;
        return FoldedPath{name} == FoldedPath{other.toString()};
    }

private:
    const QList<MediaFile>& m_files;
    QHash<qint64, qsizetype> m_firstOfSize; // index + 1
    std::vector<qsizetype> m_nextOfSize;
    QHash<FoldedPath, QList<qsizetype>> m_usedByAlternativePath;
    QHash<FoldedPath, qsizetype> m_usedByPath;
    mutable bool m_positionBuilt = false;
    mutable QHash<FoldedPath, qsizetype> m_position;
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
        const FoldedPath key{mediaFiles[index].path};
        for (const qsizetype seen : std::as_const(candidates)) {
            if (FoldedPath{mediaFiles[seen].path} == key)
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
    QList<DeleteSafetyConflict> conflicts;
    for (const MediaFile& file : files) {
        const QString name = path::lastPathComponent(file.path);
        if (file.hasUnresolvedAELink) {
            conflicts.append(
                {file, file,
                 name + QStringLiteral(" may be referenced in a linked After Effects composition "
                                       "(.aep file not found)")});
        }
        const QList<qsizetype> candidates = candidatesFor(file, name, mediaFiles, tables);
        if (candidates.isEmpty())
            continue;
        const FoldedPath ownPath{file.path};
        const auto listed = [](const QStringList& paths, const FoldedPath& path) {
            return std::any_of(paths.cbegin(), paths.cend(),
                               [&](const QString& p) { return FoldedPath{p} == path; });
        };
        for (const qsizetype index : candidates) {
            const MediaFile& used = mediaFiles[index];
            const FoldedPath usedPath{used.path};
            if (usedPath == ownPath)
                continue;
            const QString projects =
                QLatin1Char('"') + used.projectNames.join(QStringLiteral(", ")) + QLatin1Char('"');
            if (listed(file.alternativePaths, usedPath) || listed(used.alternativePaths, ownPath)) {
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
