#pragma once

#include "analysis/MediaRows.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"
#include "ui/browser/SquarifiedTreemap.h"

#include <QColor>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QFontMetricsF;

namespace tarnwick {

// Bytes of one project's media on disk, and the part no timeline uses.
struct ProjectFootprint {
    ProjectFile project;
    qint64 totalBytes = 0;
    qint64 reclaimableBytes = 0;
};

// The clips of one project at the drilled-in level, largest first.
struct ProjectClips {
    QList<MediaFile> clips;
    qint64 totalBytes = 0;
    qint64 reclaimableBytes = 0;
};

namespace StorageMap {

inline constexpr double projectMergeThreshold = 0.02;
inline constexpr double clipMergeThreshold = 0.015;

// Which items a map of a given size merges into one "+N more" tile: only those whose tile would
// be too small to read (less area than a 32-point square: a sliver you can neither make out nor
// point at), never one whose share reaches `maxThreshold`, and the smallest first only while the
// merged tile stays no larger than the largest one; the `keepLargest` largest always stay.
struct MergeRule {
    double maxThreshold = projectMergeThreshold;
    double minimumTileArea = 32.0 * 32.0;
    int keepLargest = 12;

    double thresholdFor(const QSizeF& area) const;
};
inline constexpr MergeRule projectMergeRule{projectMergeThreshold, 32.0 * 32.0, 12};
inline constexpr MergeRule clipMergeRule{clipMergeThreshold, 32.0 * 32.0, 12};

// The tiles of one level in `area` (origin 0,0): merged as the rule says, then squarified.
QList<MapTreemapTile> layoutTiles(const QList<MapTreemapItem>& items, const QSizeF& area,
                                  const MergeRule& rule);

// What the project level's header sums: the footprints as the tiles show them (a file listed
// under several projects counts in each), and the same files' bytes on disk, each counted once.
struct MapTotals {
    qint64 totalBytes = 0;
    qint64 reclaimableBytes = 0;
    qint64 onDiskBytes = 0;
    // Whether some file counts in more than one of the footprints.
    bool countsSharedFiles() const { return totalBytes != onDiskBytes; }
};

// Unused and not After Effects footage: what a clean-up could remove.
bool isReclaimable(const MediaFile& file);

// One footprint per project (list order, then largest first, stable) with on-disk bytes; totals are
// keyed by project name, so a file listed under several projects counts fully in each.
QList<ProjectFootprint> footprints(const QList<MediaFile>& filtered, const QList<ProjectFile>& projects);
QList<ProjectFootprint> footprints(const MediaRows& filtered, const QList<ProjectFile>& projects);
// Every filtered file listed under `projectName` with a known size, whatever its status.
ProjectClips clipsOf(const QList<MediaFile>& filtered, const QString& projectName);
ProjectClips clipsOf(const MediaRows& filtered, const QString& projectName);

MapTotals totals(const QList<MediaFile>& filtered, const QList<ProjectFootprint>& footprints);
MapTotals totals(const MediaRows& filtered, const QList<ProjectFootprint>& footprints);

// One item per footprint or clip, in order; merging is the layout's (it depends on the map's size).
QList<MapTreemapItem> projectItems(const QList<ProjectFootprint>& footprints);
QList<MapTreemapItem> clipItems(const ProjectClips& clips);
// The header title of the projects a merged tile holds.
QString mergedProjectsTitle(int count);
// A clip tile's name in at most `maxLines` lines of `width`: broken only after a space, "_" or
// "-", and what does not fit elided in its middle (the extension stays).
QStringList tileNameLines(const QString& name, const QFontMetricsF& metrics, qreal width, int maxLines);

// Straight blend from the used green (share 0) to the reclaimable amber (share 1).
QColor projectTileColor(const ProjectFootprint& footprint);
QColor clipTileColor(const MediaFile& clip);
QColor mergedTileColor();

QString projectTooltip(const MapTreemapItem& item, const ProjectFootprint* footprint);
QString clipTooltip(const MediaFile& clip);

bool showsProjectLabel(const QRectF& rect);
bool showsProjectReclaimableLine(const QRectF& rect);
bool showsClipLabel(const QRectF& rect);
// The name alone, cut in its middle, on a tile too small for its label: empty when not even a
// few characters of it fit (the tooltip still names the tile).
QString shortTileName(const QString& name, const QRectF& rect, const QFontMetricsF& metrics);
inline constexpr qreal shortNameInset = 3;

// A header or legend row's part that can give way: its width whole and once it gave way (0: it goes).
struct RowPart {
    int whole = 0;
    int reduced = 0;
};
// How many of a row's `parts`, in the order they give way, must give way for the row to fit in
// `width`; `kept` is what never does (margins, spacing, the figures). All of them, where even that is
// too wide.
int partsGivingWay(int width, int kept, const QList<RowPart>& parts);

} // namespace StorageMap
} // namespace tarnwick
