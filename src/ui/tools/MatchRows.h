#pragma once

#include "model/ScoredMatch.h"
#include "ui/common/ViewHelpers.h"

#include <QColor>
#include <QList>
#include <QString>

namespace tarnwick {

// The confidence capsule of a score: "High" (0.75 and up), "Medium" (0.45 and up), "Low".
struct Confidence {
    QString label;
    QColor color;
};
Confidence confidenceOf(double score);
// The capsule's text: the label and the truncated percentage ("High 75%").
QString confidenceText(const MatchScore& score);

// What one match row shows.
struct MatchRowTexts {
    QString fileName;
    QString segmentsText;    // "3 path segments match", empty under 2
    QList<TextRun> original; // the offline file's folder, its matching tail bold, red
    QList<TextRun> found;    // the found folder, green
    bool showsSize = false;  // only for an offline size of at least 1 byte
    QString sizeText;
    bool sizeMatched = false;
};
MatchRowTexts matchRowTexts(const ScoredMatch& match);
// The folder of a path by the platform's rule ("/a/b.mov" -> "/a", "/b.mov" -> "/").
QString folderOf(const QString& path);

// The groups of the offline search: one per offline path, candidates best first (stable), groups
// by their best score, highest first.
QList<OfflineMatchGroup> groupMatches(const QList<ScoredMatch>& matches);
// The Best rule: the first candidate of every group whose best score is at least 0.75.
QList<QUuid> bestSelection(const QList<OfflineMatchGroup>& groups);

} // namespace tarnwick
