#include "analysis/UnresolvedClipNames.h"

#include "analysis/LowerPathCache.h"
#include "platform/PathText.h"

namespace tarnwick {

UnresolvedClipNames::UnresolvedClipNames(const QList<ProjectFile>& projects) {
    for (const ProjectFile& project : projects) {
        for (const QString& name : project.unresolvedClipNames) {
            // A name written as a path still names its last component.
            QString key = LowerPathCache::lowerKey(name);
            key = path::lastPathComponent(key.replace(u'\\', u'/'));
            if (key.isEmpty())
                continue;
            QList<Source>& named = m_projectsByName[key];
            if (named.isEmpty() || named.last().project != project.id)
                named.append({project.id, project.name});
        }
    }
}

const QList<UnresolvedClipNames::Source>*
UnresolvedClipNames::projectsNaming(const QString& lowerPath) const {
    if (m_projectsByName.isEmpty())
        return nullptr;
    const QString name = path::lastPathComponent(lowerPath);
    auto found = m_projectsByName.constFind(name);
    if (found != m_projectsByName.cend())
        return &found.value();
    // A clip named without an extension may show any file of that base name; one named with an
    // extension names that file only (not "x.mov.xmp").
    found = m_projectsByName.constFind(path::deletingPathExtension(name));
    if (found != m_projectsByName.cend() && path::pathExtension(found.key()).isEmpty())
        return &found.value();
    return nullptr;
}

bool UnresolvedClipNames::namesFile(const QString& lowerPath) const {
    return projectsNaming(lowerPath) != nullptr;
}

QString UnresolvedClipNames::reviewNote(const ProjectFile& project) const {
    if (m_projectsByName.isEmpty())
        return {};
    qsizetype files = 0;
    QStringList others;
    for (const QString& path : project.mediaFiles) {
        const QList<Source>* naming = projectsNaming(LowerPathCache::lowerKey(path));
        if (!naming)
            continue;
        bool byAnother = false;
        for (const Source& other : *naming) {
            if (other.project == project.id)
                continue;
            byAnother = true;
            if (!others.contains(other.projectName))
                others.append(other.projectName);
        }
        files += byAnother;
    }
    if (files == 0)
        return {};
    QStringList quoted;
    for (const QString& other : std::as_const(others))
        quoted.append(QStringLiteral("“") + other + QStringLiteral("”"));
    return QString::number(files) +
           QStringLiteral(" file(s) listed here share a name with a timeline clip of ") +
           quoted.join(QStringLiteral(", ")) +
           QStringLiteral(" that could not be matched to a media file — they may be used there. Flagged for "
                          "review; excluded from one-click cleanup.");
}

} // namespace tarnwick
