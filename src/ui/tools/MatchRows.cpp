#include "ui/tools/MatchRows.h"

#include "platform/ByteCountText.h"
#include "ui/brand/BrandPalette.h"

#include <QHash>

#include <algorithm>

namespace tarnwick {

Confidence confidenceOf(double score) {
    if (score >= 0.75)
        return {QStringLiteral("High"), Color::systemGreen()};
    if (score >= 0.45)
        return {QStringLiteral("Medium"), Color::systemOrange()};
    return {QStringLiteral("Low"), Color::systemRed()};
}

QString confidenceText(const MatchScore& score) {
    return confidenceOf(score.score).label + QLatin1Char(' ') + score.percentText();
}

QString folderOf(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : p.left(slash);
}

MatchRowTexts matchRowTexts(const ScoredMatch& match) {
    MatchRowTexts t;
    const QString& path = match.offlineFile.path;
    t.fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (match.matchScore.matchingComponents >= 2)
        t.segmentsText =
            QString::number(match.matchScore.matchingComponents) + QStringLiteral(" path segments match");
    const int folders = match.matchScore.matchingComponents - 1;
    t.original = highlightedPath(folderOf(path), folders, Color::systemRed());
    t.found = highlightedPath(folderOf(match.foundPath), folders, Color::systemGreen());
    t.showsSize = match.offlineFile.size >= 1;
    if (t.showsSize)
        t.sizeText = formatFileByteCount(match.offlineFile.size);
    t.sizeMatched = match.matchScore.sizeMatched;
    return t;
}

QList<OfflineMatchGroup> groupMatches(const QList<ScoredMatch>& matches) {
    QHash<QString, QList<ScoredMatch>> byPath;
    QList<QString> order;
    for (const ScoredMatch& match : matches) {
        auto it = byPath.find(match.offlineFile.path);
        if (it == byPath.end()) {
            order.append(match.offlineFile.path);
            it = byPath.insert(match.offlineFile.path, {});
        }
        it->append(match);
    }
    QList<OfflineMatchGroup> groups = OfflineMatchGroup::groups(byPath);
    // Equal best scores keep the order in which their files were first found.
    QHash<QString, qsizetype> firstSeen;
    for (qsizetype i = 0; i < order.size(); ++i)
        firstSeen.insert(order.at(i), i);
    std::sort(groups.begin(), groups.end(), [&](const OfflineMatchGroup& a, const OfflineMatchGroup& b) {
        const double sa = a.candidates.isEmpty() ? 0 : a.candidates.first().matchScore.score;
        const double sb = b.candidates.isEmpty() ? 0 : b.candidates.first().matchScore.score;
        if (sa != sb)
            return sa > sb;
        return firstSeen.value(a.offlineFilePath) < firstSeen.value(b.offlineFilePath);
    });
    return groups;
}

QList<QUuid> bestSelection(const QList<OfflineMatchGroup>& groups) {
    QList<QUuid> ids;
    for (const OfflineMatchGroup& group : groups)
        if (!group.candidates.isEmpty() && group.candidates.first().matchScore.score >= 0.75)
            ids.append(group.candidates.first().id);
    return ids;
}

} // namespace tarnwick
