#pragma once

#include "model/MediaFile.h"

#include <QColor>
#include <QString>

namespace tarnwick::MediaBadges {

inline constexpr auto protectedTooltip = "In a protected folder — never deleted, moved, or transcoded";
inline constexpr auto proxyTooltip =
    "Proxy found in a subfolder — it will be moved/deleted alongside this clip.";

// The status cell's text: "Found" for a relocated online or matching file, "In Virtual Bin" for the bin.
QString statusText(const MediaFile& file);
// The link mark's colour: cyan while the relocated file is reachable, grey otherwise.
QColor relocationColor(const MediaFile& file);

// The one usage mark of a row: a pill, and maybe a symbol beside it.
struct UsageMark {
    QString pillText;
    QColor pillColor;
    QString pillTooltip;
    QString symbol; // empty: nothing beside the pill
    QColor symbolColor;
    QString symbolTooltip;
};
UsageMark usageMark(const MediaFile& file);

// "externaldrive" for volumes and drive-letter paths, "internaldrive" for other local paths.
QString storageIcon(const MediaFile& file);
// Size cell: an em dash for 0 bytes, bold for 100,000,000 bytes and more.
QString sizeText(qint64 size);
bool isLargeSize(qint64 size);

} // namespace tarnwick::MediaBadges
