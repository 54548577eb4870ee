#include "analysis/SimilarNameDetector.h"

#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

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

namespace {

bool isPlainAscii(QStringView name) {
    return std::all_of(name.begin(), name.end(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

// Whether `rest` is one version suffix, the whole of it, letter case ignored (ASCII only).
bool isVersionSuffix(QStringView rest) {
    if (rest.size() < 2 || rest[0] != u'_')
        return false;
    const QStringView word = rest.mid(1);
    if (std::all_of(word.begin(), word.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return true;
    for (const char* suffix : {"proxy", "lowres", "high", "low"}) {
        if (word.compare(QLatin1String(suffix), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QString SimilarNameDetector::baseName(const QString& nameWithoutExtension) {
    const QStringView name(nameWithoutExtension);
    // The pattern's answer without running it, for the printable ASCII names nearly every file has:
    // the shortest non-empty base whose remainder is nothing or exactly one suffix. Names with other
    // characters (Unicode digits and case folding, line breaks) go through the pattern itself.
    if (!name.isEmpty() && isPlainAscii(name)) {
        for (qsizetype at = name.indexOf(u'_', 1); at > 0; at = name.indexOf(u'_', at + 1)) {
            if (isVersionSuffix(name.mid(at)))
                return name.first(at).toString();
        }
        return nameWithoutExtension;
    }
    const QRegularExpressionMatch match = baseNamePattern().match(nameWithoutExtension);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString SimilarNameDetector::patternBaseName(const QString& nameWithoutExtension) {
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
