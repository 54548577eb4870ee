#include "actions/RemovalRules.h"

#include "analysis/LowerPathCache.h"
#include "analysis/ProjectManager.h"
#include "model/RecycleBinItem.h"
#include "platform/PathText.h"

namespace tarnwick {

namespace {

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

RemovalRules::RemovalRules(const ProjectManager& manager) : m_manager(&manager) {}

RemovalRules::RemovalRules(QList<MediaFile> list) : m_list(std::move(list)) {}

QString RemovalRules::workingPath(const MediaFile& file) {
    return file.matchedPath.value_or(file.path);
}

QString RemovalRules::nameOf(const MediaFile& file) {
    return path::lastPathComponent(file.path);
}

bool RemovalRules::isInUse(const MediaFile& file) {
    return (file.usageCount > 0 || file.isAEFootage) && file.status != MediaFileStatus::deleted &&
           file.status != MediaFileStatus::moved;
}

QString RemovalRules::containerPrefix(const QString& container) {
    return container.endsWith(QLatin1Char('/')) ? container : container + QLatin1Char('/');
}

const QList<MediaFile>& RemovalRules::list() const {
    return m_manager ? m_manager->mediaFiles() : m_list;
}

QHash<QString, qsizetype> RemovalRules::firstIndexByPath(const QList<MediaFile>& files) {
    QHash<QString, qsizetype> index;
    index.reserve(files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!index.contains(files[i].path))
            index.insert(files[i].path, i);
    }
    return index;
}

void RemovalRules::buildPathIndex() const {
    const QList<MediaFile>& files = list();
    if (m_pathIndexBuilt && m_pathIndexSize == files.size())
        return;
    m_firstByPath = firstIndexByPath(files);
    m_pathIndexBuilt = true;
    m_pathIndexSize = files.size();
}

void RemovalRules::buildLowerIndex() const {
    const QList<MediaFile>& files = list();
    if (m_lowerIndexBuilt && m_lowerIndexSize == files.size())
        return;
    m_byLowerPathOrMatch.clear();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const MediaFile& file = files[i];
        const QString lowerPath = LowerPathCache::lowerKey(file.path);
        m_byLowerPathOrMatch[lowerPath].append(i);
        if (file.matchedPath) {
            const QString lowerMatch = LowerPathCache::lowerKey(*file.matchedPath);
            if (lowerMatch != lowerPath)
                m_byLowerPathOrMatch[lowerMatch].append(i);
        }
    }
    m_lowerIndexBuilt = true;
    m_lowerIndexSize = files.size();
}

void RemovalRules::buildContainerIndex() const {
    const QList<MediaFile>& files = list();
    if (m_containerIndexBuilt && m_containerIndexSize == files.size())
        return;
    m_byLowerContainer.clear();
    static const QLatin1String marker(".rdc/");
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString lower = LowerPathCache::lowerKey(workingPath(files[i]));
        for (qsizetype at = lower.indexOf(marker); at >= 0; at = lower.indexOf(marker, at + 1))
            m_byLowerContainer[lower.left(at + 4)].append(i);
    }
    m_containerIndexBuilt = true;
    m_containerIndexSize = files.size();
}

qsizetype RemovalRules::indexedEntry(const QString& path) const {
    buildPathIndex();
    const QList<MediaFile>& files = list();
    const auto hit = m_firstByPath.constFind(path);
    if (hit == m_firstByPath.cend())
        return -1;
    if (*hit < files.size() && files[*hit].path == path)
        return *hit;
    return indexOfEntry(path); // out of date: the live list decides
}

qsizetype RemovalRules::indexOfEntry(const QString& path) const {
    buildPathIndex();
    const QList<MediaFile>& files = list();
    const auto hit = m_firstByPath.constFind(path);
    if (hit != m_firstByPath.cend() && *hit < files.size() && files[*hit].path == path)
        return *hit;
    // The table missed or is out of date: the live list decides.
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (files[i].path == path)
            return i;
    }
    return -1;
}

std::optional<MediaFile> RemovalRules::liveUseOf(const MediaFile& staged) const {
    const qsizetype index = indexOfEntry(staged.path);
    if (index < 0)
        return std::nullopt;
    const MediaFile& live = list()[index];
    // A file the user staged knowingly while it was used is acted on; only new use keeps it.
    return isInUse(live) && useGrewSinceStaged(staged, live) ? std::optional<MediaFile>(live) : std::nullopt;
}

std::optional<MediaFile> RemovalRules::entryUsingProxy(const QString& proxy) const {
    buildLowerIndex();
    const QList<MediaFile>& files = list();
    const QString key = LowerPathCache::lowerKey(proxy);
    const QList<qsizetype> candidates = m_byLowerPathOrMatch.value(key);
    std::optional<MediaFile> caseOnly;
    for (const qsizetype i : candidates) {
        if (i >= files.size() || !isInUse(files[i]))
            continue;
        const MediaFile& file = files[i];
        if (file.path == proxy || file.matchedPath == proxy)
            return file;
        const bool sameIgnoringCase =
            LowerPathCache::lowerKey(file.path) == key ||
            (file.matchedPath && LowerPathCache::lowerKey(*file.matchedPath) == key);
        if (sameIgnoringCase && !caseOnly)
            caseOnly = file;
    }
    return caseOnly;
}

std::optional<MediaFile> RemovalRules::mediaFileInsideContainer(const QString& container) const {
    const QList<MediaFile>& files = list();
    const QString key = LowerPathCache::lowerKey(withoutTrailingSlash(container));
    const QString prefix = containerPrefix(key);
    const auto inside = [&](const MediaFile& file) {
        return isInUse(file) && LowerPathCache::lowerKey(workingPath(file)).startsWith(prefix);
    };
    if (!key.endsWith(QLatin1String(".rdc"))) {
        for (const MediaFile& file : files) {
            if (inside(file))
                return file;
        }
        return std::nullopt;
    }
    buildContainerIndex();
    for (const qsizetype i : m_byLowerContainer.value(key)) {
        if (i < files.size() && inside(files[i]))
            return files[i];
    }
    return std::nullopt;
}

QList<qsizetype> RemovalRules::entriesInsideContainer(const QString& container) const {
    const QList<MediaFile>& files = list();
    const QString prefix = containerPrefix(container);
    QList<qsizetype> found;
    buildContainerIndex();
    const QString key = LowerPathCache::lowerKey(withoutTrailingSlash(container));
    if (key.endsWith(QLatin1String(".rdc"))) {
        for (const qsizetype i : m_byLowerContainer.value(key)) {
            if (i < files.size() && workingPath(files[i]).startsWith(prefix))
                found.append(i);
        }
        return found;
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (workingPath(files[i]).startsWith(prefix))
            found.append(i);
    }
    return found;
}

QString RemovalRules::containerRefusedText(const QString& name, const MediaFile& usedMember) {
    return name + QStringLiteral(": skipped — its .RDC container also holds ") + usedMember.fileName() +
           QStringLiteral(", used in ") + usedMember.projectNames.join(QStringLiteral(", "));
}

QString RemovalRules::protectedText(const QString& name) {
    return name + QStringLiteral(": in a protected folder — skipped");
}

QString RemovalRules::nowInUseText(const QString& name) {
    return name + QStringLiteral(": now in use — skipped");
}

QString RemovalRules::isFolderText(const QString& name) {
    return name + QStringLiteral(": is a folder — skipped");
}

QString RemovalRules::changedText(const QString& name) {
    return name + QStringLiteral(": ") + changedReason();
}

QString RemovalRules::changedReason() {
    return QStringLiteral("changed since it was staged — kept");
}

} // namespace tarnwick
