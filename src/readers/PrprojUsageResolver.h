#pragma once

#include "model/ProjectSequence.h"
#include "model/SequenceUsageAttribution.h"
#include "readers/PrprojStageResults.h"
#include "readers/PrprojTimelineScan.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tarnwick::prproj {

// The name index and the fixed scan order over titles and names.
struct NameIndexes {
    // A map's keys with their paths in key order (the fixed order in which scans go through the
    // maps): views into the map, which must stay as it is while they are used.
    struct Entry {
        QStringView key;
        const QStringList* paths = nullptr;
        const QString* text = nullptr; // the key itself, for a map keyed by text
    };
    using Sorted = std::vector<Entry>;

    // File names without extension and folders, each a part of a title key (they view the
    // titles of the media tables the indexes are built from), to the paths of those titles.
    QHash<QStringView, QStringList> pathsByName;
    Sorted sortedTitles; // into MediaTables::pathsByTitle
    Sorted sortedNames;  // into pathsByName
    QHash<QString, QString> firstTitleByNormalized;
};
// `parallel` builds the title order on a second thread.
NameIndexes buildNameIndexes(const MediaTables& media, bool parallel = false);

struct UsageInputs {
    const MediaTables& media;
    const IdMap<Id>& masterClipNames; // as scanMasterClipNames reads them
    qsizetype sequenceCount = 0;
    qsizetype videoClipKeys = 0; // distinct sub-clips on video tracks
    qsizetype audioClipKeys = 0;
    const QList<ProjectSequence>& timelines;
    const MasterClipMapping& mapping;
    const ReferenceChain& referenceChain;
    const NameIndexes* prebuiltIndexes = nullptr; // built here on first need when absent
};

struct UsageResult {
    QSet<QString> usedMediaPaths;
    QHash<QString, int> usageCountByPath;
    QSet<QString> audioOnlyPaths;
    QHash<QString, QSet<QString>> sequenceNamesByPath;
    QHash<QString, SequenceUsageAttribution> sequenceUsageByPath;
    // The names of timeline clips that lead to a file but could not be matched to one, sorted.
    QStringList unresolvedClipNames;
};

// Ties master clips to media files by name rules and by the object-reference chain, and decides
// which paths timelines use. Warnings are appended to `warnings` and logged as they arise.
class UsageResolver {
public:
    explicit UsageResolver(const UsageInputs& in);

    // The paths a named master clip leads to (without repeats): its name rules' match together with
    // its reference chain. Absent for a master clip without a name or when neither route finds one.
    std::optional<QStringList> matchClipNameToMedia(const QString& masterClipID) const;

    UsageResult resolve(QStringList& warnings) const;

private:
    // Built on first use: most projects resolve every clip by its exact title.
    using Indexes = NameIndexes;
    const Indexes& indexes() const;
    std::vector<std::optional<QStringList>> matchAll(const QStringList& masterClipIDs) const;
    const QStringList* matchByNameRules(const QString& name) const;
    const QStringList* title(const QString& key) const;
    const QStringList* byName(const QString& key) const;
    static const QStringList* firstWithPrefix(const NameIndexes::Sorted& sorted, const QString& prefix);

    const UsageInputs& m_in;
    mutable std::optional<Indexes> m_indexes;
};

// Apostrophes and typographic quotes as "_".
QString normalizedQuotes(const QString& key);

} // namespace tarnwick::prproj
