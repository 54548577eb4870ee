#include "model/MediaFile.h"

#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <algorithm>

namespace tarnwick {

namespace {

bool sameOptionalText(const std::optional<QString>& a, const std::optional<QString>& b) {
    if (a.has_value() != b.has_value())
        return false;
    return !a || text::canonicalEquals(*a, *b);
}

QString sortedJoined(QStringList names) {
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return text::compareScalars(a, b) < 0; });
    return names.join(QStringLiteral(", "));
}

// The piece after `prefix` up to the next "/" (the whole rest when none follows).
QString componentAfter(const QString& path, qsizetype prefixLength) {
    const qsizetype slash = path.indexOf(QLatin1Char('/'), prefixLength);
    return slash < 0 ? path.mid(prefixLength) : path.mid(prefixLength, slash - prefixLength);
}

// Linux mount folders: /media/USER/NAME, /run/media/USER/NAME and /mnt/NAME; length of the part before NAME.
std::optional<qsizetype> linuxMountPrefix(const QString& path) {
    if (path.startsWith(QLatin1String("/mnt/")))
        return 5;
    for (const QLatin1String root : {QLatin1String("/media/"), QLatin1String("/run/media/")}) {
        if (!path.startsWith(root))
            continue;
        const qsizetype userEnd = path.indexOf(QLatin1Char('/'), root.size());
        if (userEnd > root.size())
            return userEnd + 1;
    }
    return std::nullopt;
}

QString homeFolderLabel(const QString& path, const QStringList& known, const QString& otherwise) {
    const QStringList pieces = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.size() < 3)
        return otherwise;
    return known.contains(pieces[2]) ? pieces[2] : otherwise;
}

QString driveLetterLabel(const QString& path) {
    const QString head = path.left(1).toUpper() + QStringLiteral(": ");
    QString slashed = path;
    slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList pieces = slashed.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.size() < 4 || text::lowered(pieces[1]) != QLatin1String("users"))
        return head + QStringLiteral("Drive");
    const QString folder = text::lowered(pieces[3]);
    static const QStringList folders{QStringLiteral("desktop"),   QStringLiteral("documents"),
                                     QStringLiteral("downloads"), QStringLiteral("videos"),
                                     QStringLiteral("music"),     QStringLiteral("pictures")};
    if (!folders.contains(folder))
        return head + QStringLiteral("Drive");
    return head + folder.left(1).toUpper() + folder.mid(1);
}

// Labels of absolute paths. Paths written on the other platform keep its names ("Macintosh HD");
// Linux paths get the same treatment with Linux's mount and home folders, and "Computer".
QString absolutePathLabel(const QString& path) {
    static const QString macVolume = QStringLiteral("Macintosh HD");
    static const QString linuxVolume = QStringLiteral("Computer");
    if (path.startsWith(QLatin1String("/Volumes/")))
        return componentAfter(path, 9);
    if (const std::optional<qsizetype> mount = linuxMountPrefix(path))
        return componentAfter(path, *mount);
    if (path.startsWith(QLatin1String("/Users/"))) {
        static const QStringList macFolders{QStringLiteral("Desktop"),   QStringLiteral("Documents"),
                                            QStringLiteral("Downloads"), QStringLiteral("Movies"),
                                            QStringLiteral("Music"),     QStringLiteral("Pictures"),
                                            QStringLiteral("Developer")};
        return homeFolderLabel(path, macFolders, macVolume);
    }
    if (path.startsWith(QLatin1String("/home/"))) {
        static const QStringList linuxFolders{QStringLiteral("Desktop"),   QStringLiteral("Documents"),
                                              QStringLiteral("Downloads"), QStringLiteral("Movies"),
                                              QStringLiteral("Music"),     QStringLiteral("Pictures"),
                                              QStringLiteral("Developer"), QStringLiteral("Videos")};
        return homeFolderLabel(path, linuxFolders, linuxVolume);
    }
    if (path.startsWith(QLatin1String("//"))) {
        const qsizetype slash = path.indexOf(QLatin1Char('/'), 2);
        const QString host = slash < 0 ? QString() : path.mid(2, slash - 2);
        return host.isEmpty() ? QStringLiteral("Network") : host;
    }
    // Folders that only exist on the other platform keep its boot volume's name.
    for (const QLatin1String root : {QLatin1String("/private/"), QLatin1String("/Library/"),
                                     QLatin1String("/Applications/"), QLatin1String("/System/")}) {
        if (path.startsWith(root))
            return macVolume;
    }
    return linuxVolume;
}

} // namespace

bool MediaFile::isOnDisk() const {
    return status == MediaFileStatus::online || status == MediaFileStatus::matching ||
           status == MediaFileStatus::transcoded;
}

bool MediaFile::isOffline() const {
    return (status == MediaFileStatus::offline || status == MediaFileStatus::networkOffline) &&
           !matchedPath.has_value();
}

QString MediaFile::fileName() const {
    return path::lastPathComponent(path);
}

QString MediaFile::projectNamesText() const {
    return sortedJoined(projectNames);
}

QString MediaFile::sequenceNamesText() const {
    return sortedJoined(sequenceNames);
}

QString MediaFile::displayPath() const {
    // Files in a synced cloud folder show the service; others their place, else their storage type.
    switch (storageType) {
    case StorageType::iCloud:
    case StorageType::oneDrive:
    case StorageType::dropbox:
    case StorageType::googleDrive:
        return text(storageType);
    default:
        break;
    }
    if (path.startsWith(QLatin1Char('/')))
        return absolutePathLabel(path);
    if (path.size() >= 3 && path[1] == QLatin1Char(':'))
        return driveLetterLabel(path);
    const bool named = storageType == StorageType::network || storageType == StorageType::unknown;
    return text(named ? storageType : StorageType::local);
}

std::optional<QString> MediaFile::redClipFolder() const {
    if (text::lowered(path::pathExtension(path)) != QLatin1String("r3d"))
        return std::nullopt;
    const QString folder = path::deletingLastPathComponent(matchedPath.value_or(path));
    if (text::lowered(path::pathExtension(folder)) != QLatin1String("rdc"))
        return std::nullopt;
    return folder;
}

QString MediaFile::characterAnimatorReason() const {
    if (!characterAnimatorProject)
        return {};
    const QString name = path::deletingPathExtension(path::lastPathComponent(*characterAnimatorProject));
    return QStringLiteral("part of the Character Animator project “") + name +
           QStringLiteral("”, which a timeline uses");
}

bool operator==(const MediaFile& a, const MediaFile& b) {
    const auto canonicalEquals = [](const auto& x, const auto& y) { return text::canonicalEquals(x, y); };
    return canonicalEquals(a.path, b.path) && a.status == b.status &&
           sameOptionalText(a.matchedPath, b.matchedPath) && a.size == b.size &&
           a.usageCount == b.usageCount && a.usageType == b.usageType && a.storageType == b.storageType &&
           canonicalEquals(a.lastKnownPath, b.lastKnownPath) &&
           canonicalEquals(a.projectNames, b.projectNames) &&
           canonicalEquals(a.sequenceNames, b.sequenceNames) &&
           a.hasUnattributedSequenceUsage == b.hasUnattributedSequenceUsage &&
           sameOptionalText(a.movedToPath, b.movedToPath) &&
           canonicalEquals(a.alternativePaths, b.alternativePaths) &&
           sameOptionalText(a.duplicateOfPath, b.duplicateOfPath) &&
           SimilarFiles::canonicallyEqual(a.similarFiles, b.similarFiles) &&
           sameOptionalText(a.fileHash, b.fileHash) && sameOptionalText(a.transcodedPath, b.transcodedPath) &&
           a.transcodedSize == b.transcodedSize && canonicalEquals(a.linkedAEProjects, b.linkedAEProjects) &&
           a.isAEFootage == b.isAEFootage && a.hasUnresolvedAELink == b.hasUnresolvedAELink &&
           a.isFromDaVinciCSV == b.isFromDaVinciCSV && a.needsReview == b.needsReview &&
           sameOptionalText(a.proxyPath, b.proxyPath) &&
           sameOptionalText(a.characterAnimatorProject, b.characterAnimatorProject) &&
           a.isProtected == b.isProtected;
}

size_t qHash(const MediaFile& file, size_t seed) {
    return text::canonicalHash(file.path, seed);
}

} // namespace tarnwick
