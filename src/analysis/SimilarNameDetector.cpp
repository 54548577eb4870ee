#include "analysis/SimilarNameDetector.h"

#include "platform/AppLog.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

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
    QStringList paths;
    paths.reserve(files.size());
    for (const MediaFile& file : files)
        paths.append(file.path);
    return detectGroups(paths);
}

SimilarNameDetector::Groups SimilarNameDetector::detectGroups(const QStringList& paths) {
    // Positions chained per key (first, last, count), so the many names of a group of one cost no
    // list of their own.
    struct Chain {
        qsizetype first = 0;
        qsizetype last = 0;
        qsizetype count = 0;
    };
    QHash<QString, Chain> chains;
    chains.reserve(paths.size());
    std::vector<qsizetype> next(std::size_t(paths.size()), -1);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString base = baseName(path::deletingPathExtension(path::lastPathComponent(paths[i])));
        if (base.isEmpty())
            continue;
        const QString key = text::lowered(base);
        const auto it = chains.find(key);
        if (it == chains.end()) {
            chains.insert(key, Chain{i, i, 1});
            continue;
        }
        next[std::size_t(it->last)] = i;
        it->last = i;
        ++it->count;
    }
    Groups groups;
    groups.groupOf.resize(paths.size());
    for (const Chain& chain : std::as_const(chains)) {
        if (chain.count < 2)
            continue;
        QStringList members;
        members.reserve(chain.count);
        for (qsizetype i = chain.first; i >= 0; i = next[std::size_t(i)])
            members.append(paths[i]);
        const std::shared_ptr<const SimilarFiles::Group> shared =
            SimilarFiles::Group::make(std::move(members));
        for (qsizetype i = chain.first; i >= 0; i = next[std::size_t(i)])
            groups.groupOf[i] = shared;
    }
    return groups;
}

void SimilarNameDetector::fill(MediaFile& file, qsizetype position, const Groups& groups) {
    if (position < groups.groupOf.size() && groups.groupOf[position])
        file.similarFiles = groups.similarFiles(position, file.path);
}

void SimilarNameDetector::logFound(qsizetype withSimilar) {
    AppLog::info(QStringLiteral("Found ") + QString::number(withSimilar) +
                 QStringLiteral(" file(s) with similar names"));
}

QList<MediaFile> SimilarNameDetector::detectSimilarFilenames(QList<MediaFile> files) {
    AppLog::info(QStringLiteral("Detecting similar filenames"));
    const Groups groups = detectGroups(files);
    qsizetype withSimilar = 0;
    for (qsizetype i = 0; i < files.size(); ++i) {
        fill(files[i], i, groups);
        if (!files[i].similarFiles.isEmpty())
            ++withSimilar;
    }
    logFound(withSimilar);
    return files;
}

} // namespace tarnwick
