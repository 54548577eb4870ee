#pragma once

#include "model/ProjectSequence.h"
#include "model/SequenceUsageAttribution.h"
#include "readers/PrprojStageResults.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick::prproj {

struct UsageInputs {
    const MediaTables& media;
    const QHash<QString, QString>& masterClipNames;
    qsizetype sequenceCount = 0;
    qsizetype videoClipKeys = 0; // distinct sub-clips on video tracks
    qsizetype audioClipKeys = 0;
    const QList<ProjectSequence>& timelines;
    const MasterClipMapping& mapping;
    const QHash<QString, QSet<QString>>& referenceChain;
};

struct UsageResult {
    QSet<QString> usedMediaPaths;
    QHash<QString, int> usageCountByPath;
    QSet<QString> audioOnlyPaths;
    QHash<QString, QSet<QString>> sequenceNamesByPath;
    QHash<QString, SequenceUsageAttribution> sequenceUsageByPath;
};

// Ties master clips to media files by name rules and by the object-reference chain, and decides
// which paths timelines use. Warnings are appended to `warnings` and logged as they arise.
class UsageResolver {
public:
    explicit UsageResolver(const UsageInputs& in);

    // The paths a named master clip leads to: its name rules' match together with its reference
    // chain. Absent for a master clip without a name or when neither route finds a path.
    std::optional<QSet<QString>> matchClipNameToMedia(const QString& masterClipID) const;

    UsageResult resolve(QStringList& warnings) const;

private:
    std::optional<QSet<QString>> matchByNameRules(const QString& name) const;
    const QSet<QString>* title(const QString& key) const;
    const QSet<QString>* byName(const QString& key) const;
    const QSet<QString>* firstWithPrefix(const QStringList& sortedKeys, const QHash<QString, QSet<QString>>& map,
                                         const QString& prefix) const;

    const UsageInputs& m_in;
    QHash<QString, QSet<QString>> m_pathsByName;
    QStringList m_sortedTitles; // the fixed order in which scans go through the maps
    QStringList m_sortedNames;
    QHash<QString, QString> m_firstTitleByNormalized;
};

// Apostrophes and typographic quotes as "_".
QString normalizedQuotes(const QString& key);

} // namespace tarnwick::prproj
