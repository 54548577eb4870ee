#include "analysis/SimilarNameDetector.h"

#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QHash>
#include <QRegularExpression>

namespace tarnwick {

namespace {

const QRegularExpression& baseNamePattern() {
    static const QRegularExpression pattern(QStringLiteral("^(.+?)(_proxy|_lowres|_high|_low|_\\d+)?$"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::UseUnicodePropertiesOption);
    return pattern;
}

} // namespace

SimilarFiles SimilarNameDetector::Groups::similarFiles(qsizetype i, const QString& ownPath) const {
    if (i < 0 || i >= groupOf.size() || !groupOf[i])
        return {};
    return SimilarFiles(groupOf[i], ownPath);
}

QString SimilarNameDetector::baseName(const QString& nameWithoutExtension) {
    const QRegularExpressionMatch match = baseNamePattern().match(nameWithoutExtension);
    return match.hasMatch() ? match.captured(1) : QString();
}

SimilarNameDetector::Groups SimilarNameDetector::detectGroups(const QList<MediaFile>& files) {
    QHash<QString, QList<qsizetype>> positionsByKey;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString name = path::deletingPathExtension(path::lastPathComponent(files[i].path));
        const QString base = baseName(name);
        if (!base.isEmpty())
            positionsByKey[text::lowered(base)].append(i);
    }
    Groups groups;
    groups.groupOf.resize(files.size());
    for (const QList<qsizetype>& positions : std::as_const(positionsByKey)) {
        if (positions.size() < 2)
            continue;
        QStringList paths;
        paths.reserve(positions.size());
        for (qsizetype i : positions)
            paths.append(files[i].path);
        const std::shared_ptr<const SimilarFiles::Group> shared = SimilarFiles::Group::make(std::move(paths));
        for (qsizetype i : positions)
            groups.groupOf[i] = shared;
    }
    return groups;
}

QList<MediaFile> SimilarNameDetector::detectSimilarFilenames(QList<MediaFile> files) {
    AppLog::info(QStringLiteral("Detecting similar filenames"));
    const Groups groups = detectGroups(files);
    qsizetype withSimilar = 0;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (groups.groupOf[i])
            files[i].similarFiles = groups.similarFiles(i, files[i].path);
        if (!files[i].similarFiles.isEmpty())
            ++withSimilar;
    }
    AppLog::info(QStringLiteral("Found ") + QString::number(withSimilar) +
                 QStringLiteral(" file(s) with similar names"));
    return files;
}

} // namespace tarnwick
