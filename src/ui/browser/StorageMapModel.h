#pragma once

#include "analysis/MediaRows.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"
#include "ui/browser/SquarifiedTreemap.h"

#include <QColor>
#include <QList>
#include <QString>

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

// Unused and not After Effects footage: what a clean-up could remove.
bool isReclaimable(const MediaFile& file);

// One footprint per project (list order, then largest first, stable) with on-disk bytes; totals are
// keyed by project name, so a file listed under several projects counts fully in each.
QList<ProjectFootprint> footprints(const QList<MediaFile>& filtered, const QList<ProjectFile>& projects);
QList<ProjectFootprint> footprints(const MediaRows& filtered, const QList<ProjectFile>& projects);
// Every filtered file listed under `projectName` with a known size, whatever its status.
ProjectClips clipsOf(const QList<MediaFile>& filtered, const QString& projectName);
ProjectClips clipsOf(const MediaRows& filtered, const QString& projectName);

QList<MapTreemapItem> projectItems(const QList<ProjectFootprint>& footprints);
QList<MapTreemapItem> clipItems(const ProjectClips& clips);

// Straight blend from the used green (share 0) to the reclaimable amber (share 1).
QColor projectTileColor(const ProjectFootprint& footprint);
QColor clipTileColor(const MediaFile& clip);
QColor mergedTileColor();

QString projectTooltip(const MapTreemapItem& item, const ProjectFootprint* footprint);
QString clipTooltip(const MediaFile& clip);

bool showsProjectLabel(const QRectF& rect);
bool showsProjectReclaimableLine(const QRectF& rect);
bool showsClipLabel(const QRectF& rect);

} // namespace StorageMap
} // namespace tarnwick
