#pragma once

#include "model/SequenceUsageAttribution.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <string_view>

// Results handed from the project reader's scanning stages to its used-file determination. Paths and
// titles compare by canonical equivalence: each path keeps the first spelling seen.
namespace tarnwick::prproj {

struct MediaTables {
    QSet<QString> allPaths;
    QHash<QString, QSet<QString>> pathsByTitle; // lower-cased title (NFC) -> paths
    QHash<QString, QString> relativePathsByPath;
    QHash<QString, QString> spellingByKey; // NFC form -> the spelling kept

    // Adds an accepted path and returns the spelling under which it is kept.
    QString accept(const QString& path);
    static QString titleKey(const QString& title);
};

struct MasterClipMapping {
    QSet<QString> usedMasterClipRefs;
    QSet<QString> audioOnlyMasterClipRefs;
    QHash<QString, qint64> usageCountByMasterClip;
    qint64 unmatchedClipCount = 0;
    QHash<QString, SequenceUsageAttribution> attributionByMasterClip;
};

inline QString toQString(std::string_view v) { return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())); }

} // namespace tarnwick::prproj
