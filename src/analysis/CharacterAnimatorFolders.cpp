#include "analysis/CharacterAnimatorFolders.h"

#include "analysis/LowerPathCache.h"
#include "platform/PathText.h"

#include <QVarLengthArray>

#include <algorithm>

namespace tarnwick {

namespace {

// The folder a project's data is in: its own folder when that is named as the project.
std::optional<QString> dataFolder(const QString& projectPath) {
    const QString folder = path::deletingLastPathComponent(projectPath);
    const QString name = path::deletingPathExtension(path::lastPathComponent(projectPath));
    if (folder.isEmpty() || name.isEmpty() ||
        LowerPathCache::lowerKey(path::lastPathComponent(folder)) != LowerPathCache::lowerKey(name))
        return std::nullopt;
    return folder;
}

} // namespace

bool CharacterAnimatorFolders::isProjectPath(const QString& path) {
    return path.endsWith(QLatin1String(".chproj"), Qt::CaseInsensitive);
}

bool CharacterAnimatorFolders::claimsItsFolder(const MediaFile& file) {
    return file.usageCount >= 1 && isProjectPath(file.path) && dataFolder(file.path).has_value();
}

CharacterAnimatorFolders::CharacterAnimatorFolders(const QList<MediaFile>& mediaFiles) {
    for (const MediaFile& file : mediaFiles) {
        if (!claimsItsFolder(file))
            continue;
        // Where the project is on disk too: a relocated project's data moved with it, and the data
        // of a project merged from several paths is listed under any of them.
        QStringList places{file.path};
        if (file.matchedPath)
            places.append(*file.matchedPath);
        places += file.alternativePaths;
        for (const QString& at : std::as_const(places)) {
            const std::optional<QString> folder = dataFolder(at);
            if (!folder)
                continue;
            const QString key = LowerPathCache::lowerKey(*folder);
            if (!m_folderLengths.contains(key.size()))
                m_folderLengths.append(key.size());
            m_projectByFolder.insert(key, file.path);
        }
    }
}

std::optional<QString> CharacterAnimatorFolders::projectBelow(QStringView key, bool lowerAscii) const {
    // Only the few folder lengths there are need a look: a key is below a folder when the folder's
    // path and a "/" begin it. The folder is looked up in place (no copy of it).
    QVarLengthArray<QChar, 256> lowered;
    for (const qsizetype length : m_folderLengths) {
        if (key.size() <= length + 1 || key[length] != QLatin1Char('/'))
            continue;
        const QChar* folder = key.data();
        if (lowerAscii) {
            lowered.resize(length);
            for (qsizetype i = 0; i < length; ++i) {
                const char16_t c = key[i].unicode();
                lowered[i] = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c);
            }
            folder = lowered.constData();
        }
        const auto found = m_projectByFolder.constFind(QString::fromRawData(folder, length));
        if (found != m_projectByFolder.cend())
            return found.value();
    }
    return std::nullopt;
}

std::optional<QString> CharacterAnimatorFolders::projectHolding(const MediaFile& file,
                                                                LowerPathCache& lowerPaths) const {
    if (m_projectByFolder.isEmpty() || claimsItsFolder(file))
        return std::nullopt;
    // The summary asks this of every entry. An ASCII path's key is the path with its capitals lowered,
    // letter for letter: such paths are read as they are, and only an entry with another path asks
    // the keys' cache (a look-up by id, most of the summary's time at 400,000 entries).
    const auto ascii = [](const QString& path) { return QtPrivate::isAscii(path); };
    if (ascii(file.path) &&
        std::all_of(file.alternativePaths.cbegin(), file.alternativePaths.cend(), ascii) &&
        (!file.matchedPath || ascii(*file.matchedPath))) {
        // In the keys' order: the path, its alternatives, the matched path.
        if (auto found = projectBelow(file.path, true))
            return found;
        for (const QString& alternative : file.alternativePaths) {
            if (auto found = projectBelow(alternative, true))
                return found;
        }
        return file.matchedPath ? projectBelow(*file.matchedPath, true) : std::nullopt;
    }
    for (const QString& key : lowerPaths.distinctKeys(file)) {
        if (auto found = projectBelow(key, false))
            return found;
    }
    return std::nullopt;
}

} // namespace tarnwick
