#pragma once

#include "model/SequenceUsageAttribution.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <string_view>

// Results handed from the project reader's scanning stages to its used-file determination. Paths and
// titles compare by canonical equivalence: each path keeps the first spelling seen.
namespace tarnwick::prproj {

// A few paths without repeats (most titles and media objects have one).
void addUnique(QStringList& list, const QString& path);

struct MediaTables {
    QSet<QString> allPaths;
    QHash<QString, QStringList> pathsByTitle; // lower-cased title (NFC) -> paths
    QHash<QString, QString> relativePathsByPath;
    QHash<QString, QString> spellingByKey; // NFC form of a non-ASCII path -> the spelling kept

    // Adds an accepted path and returns the spelling under which it is kept.
    QString accept(const QString& path);
    // The same with the path's canonicalKey worked out beforehand.
    QString accept(const QString& path, const QString& key);
    static QString canonicalKey(const QString& path);
    static QString titleKey(const QString& title);
    // The compositions that media titling themselves "Composition/Project.aep" name, under the path
    // of the After Effects project whose file name ends the title: lower-cased, sorted.
    QHash<QString, QStringList> linkedCompositions() const;
};

struct MasterClipMapping {
    QSet<QString> usedMasterClipRefs;
    QSet<QString> audioOnlyMasterClipRefs;
    QHash<QString, qint64> usageCountByMasterClip;
    qint64 unmatchedClipCount = 0;
    QHash<QString, SequenceUsageAttribution> attributionByMasterClip;
};

// The object-reference chain: how many master clips it resolves, and their paths on demand.
struct ReferenceChain {
    qsizetype resolvedCount = 0;
    std::function<QStringList(const QString& masterClipID)> pathsOf; // empty when none
    // Media made by the editor (no file behind them); empty when none is known.
    std::function<bool(const QString& masterClipID)> isGenerated;
    // A timeline's own master clip (a nested sequence); empty when none is known.
    std::function<bool(const QString& masterClipID)> standsForSequence;
    // The titles and file names of the media a master clip leads to; empty when none is known.
    std::function<QStringList(const QString& masterClipID)> mediaNamesOf;

    // The master clip has no file to match: it is never unresolved.
    bool leadsToNoFile(const QString& masterClipID) const {
        return (isGenerated && isGenerated(masterClipID)) ||
               (standsForSequence && standsForSequence(masterClipID));
    }
};

inline QString toQString(std::string_view v) {
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

// The UTF-8 bytes viewed as text (an identifier to look up): `utf8` must outlive the view.
inline std::string_view viewOf(const QByteArray& utf8) {
    return {utf8.constData(), static_cast<std::size_t>(utf8.size())};
}

} // namespace tarnwick::prproj
