#pragma once

#include "model/SequenceUsageAttribution.h"
#include "readers/ProjectParser.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tarnwick::testing {

// A plain, slow reading of a project's XML to check the fast reader against: the whole text as a
// QString, split into a list of lines, one QRegularExpression per value, each stage its own pass,
// with text rules of its own (nothing of the reader's is reused, so its faults are not shared). It
// gives the results only: the media, their usage, the timelines and how many warnings there are.
struct ReferenceReading {
    QSet<QString> allMediaPaths;
    QSet<QString> usedMediaPaths;
    QHash<QString, int> usageCountByPath;
    QSet<QString> audioOnlyPaths;
    QHash<QString, SequenceUsageAttribution> sequenceUsageByPath;
    QHash<QString, QSet<QString>> sequenceNamesByPath;
    QHash<QString, QString> sequenceNamesByID; // every timeline, its name as read
    int nestedSequenceCount = 0;
    QStringList unresolvedClipNames; // sorted, each once
    qsizetype warningCount = 0;
};

ReferenceReading referenceReading(const QString& xml);

// The fields of the reader's result that say otherwise than the reference; empty when they agree.
QStringList differencesFrom(const ReferenceReading& expected, const ProjectParser::ParseResult& actual);

} // namespace tarnwick::testing
