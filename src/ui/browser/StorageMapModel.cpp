#include "ui/browser/StorageMapModel.h"

#include "platform/ByteCountText.h"
#include "ui/brand/BrandPalette.h"

#include <QFontMetricsF>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <vector>

namespace tarnwick::StorageMap {

bool isReclaimable(const MediaFile& file) {
    return file.usageCount == 0 && !file.isAEFootage;
}

namespace {

template <class Files>
QList<ProjectFootprint> footprintsOf(const Files& filtered, const QList<ProjectFile>& projects) {
    struct Sums {
        qint64 total = 0;
        qint64 reclaimable = 0;
    };
    QHash<QString, Sums> byName;
    for (const MediaFile& file : filtered) {
        if (!file.isOnDisk() || file.projectNames.isEmpty())
            continue;
        const bool reclaimable = isReclaimable(file);
        for (const QString& name : file.projectNames) {
            Sums& sums = byName[name];
            sums.total += file.size;
            if (reclaimable)
                sums.reclaimable += file.size;
        }
    }
    QList<ProjectFootprint> result;
    for (const ProjectFile& project : projects) {
        const auto found = byName.constFind(project.name);
        if (found == byName.cend() || found->total == 0)
            continue;
        result.append({project, found->total, found->reclaimable});
    }
    std::stable_sort(result.begin(), result.end(), [](const ProjectFootprint& a, const ProjectFootprint& b) {
        return a.totalBytes > b.totalBytes;
    });
    return result;
}

template <class Files> MapTotals totalsOf(const Files& filtered, const QList<ProjectFootprint>& footprints) {
    MapTotals result;
    QSet<QString> names;
    for (const ProjectFootprint& footprint : footprints) {
        result.totalBytes += footprint.totalBytes;
        result.reclaimableBytes += footprint.reclaimableBytes;
        names.insert(footprint.project.name);
    }
    for (const MediaFile& file : filtered) {
        if (!file.isOnDisk())
            continue;
        for (const QString& name : file.projectNames) {
            if (names.contains(name)) {
                result.onDiskBytes += file.size;
                break;
            }
        }
    }
    return result;
}

template <class Files> ProjectClips projectClipsOf(const Files& filtered, const QString& projectName) {
    ProjectClips result;
    for (const MediaFile& file : filtered) {
        if (file.size >= 1 && file.projectNames.contains(projectName))
            result.clips.append(file);
    }
    std::stable_sort(result.clips.begin(), result.clips.end(),
                     [](const MediaFile& a, const MediaFile& b) { return a.size > b.size; });
    for (const MediaFile& clip : std::as_const(result.clips)) {
        result.totalBytes += clip.size;
        if (isReclaimable(clip))
            result.reclaimableBytes += clip.size;
    }
    return result;
}

} // namespace

QList<ProjectFootprint> footprints(const QList<MediaFile>& filtered, const QList<ProjectFile>& projects) {
    return footprintsOf(filtered, projects);
}

QList<ProjectFootprint> footprints(const MediaRows& filtered, const QList<ProjectFile>& projects) {
    return footprintsOf(filtered, projects);
}

ProjectClips clipsOf(const QList<MediaFile>& filtered, const QString& projectName) {
    return projectClipsOf(filtered, projectName);
}

ProjectClips clipsOf(const MediaRows& filtered, const QString& projectName) {
    return projectClipsOf(filtered, projectName);
}

MapTotals totals(const QList<MediaFile>& filtered, const QList<ProjectFootprint>& footprints) {
    return totalsOf(filtered, footprints);
}

MapTotals totals(const MediaRows& filtered, const QList<ProjectFootprint>& footprints) {
    return totalsOf(filtered, footprints);
}

double MergeRule::thresholdFor(const QSizeF& area) const {
    const double full = area.width() * area.height();
    if (!(full > 0))
        return maxThreshold;
    return std::min(maxThreshold, minimumTileArea / full);
}

QList<MapTreemapTile> layoutTiles(const QList<MapTreemapItem>& items, const QSizeF& area,
                                  const MergeRule& rule) {
    return squarifiedLayout(groupSmallItems(items, rule.thresholdFor(area), rule.keepLargest, true),
                            QRectF(QPointF(0, 0), area));
}

QList<MapTreemapItem> projectItems(const QList<ProjectFootprint>& footprints) {
    QList<MapTreemapItem> items;
    items.reserve(footprints.size());
    for (int i = 0; i < footprints.size(); ++i)
        items.append({footprints[i].project.name, footprints[i].totalBytes, i, 0, {}});
    return items;
}

QList<MapTreemapItem> clipItems(const ProjectClips& clips) {
    QList<MapTreemapItem> items;
    items.reserve(clips.clips.size());
    for (int i = 0; i < clips.clips.size(); ++i)
        items.append({clips.clips[i].fileName(), clips.clips[i].size, i, 0, {}});
    return items;
}

QString mergedProjectsTitle(int count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" smaller project") : QStringLiteral(" smaller projects"));
}

QStringList tileNameLines(const QString& name, const QFontMetricsF& metrics, qreal width, int maxLines) {
    if (metrics.horizontalAdvance(name) <= width || maxLines < 1)
        return {name};
    QStringList lines;
    QString rest = name;
    while (lines.size() < maxLines - 1) {
        // The longest head that ends at a break and fits.
        qsizetype cut = 0;
        for (qsizetype i = 0; i + 1 < rest.size(); ++i) {
            const QChar c = rest.at(i);
            if ((c == u' ' || c == u'_' || c == u'-') &&
                metrics.horizontalAdvance(rest.left(i + 1).trimmed()) <= width)
                cut = i + 1;
        }
        if (cut == 0)
            break;
        lines.append(rest.left(cut).trimmed());
        rest = rest.mid(cut).trimmed();
        if (metrics.horizontalAdvance(rest) <= width) {
            lines.append(rest);
            return lines;
        }
    }
    lines.append(metrics.elidedText(rest, Qt::ElideMiddle, width));
    return lines;
}

QColor projectTileColor(const ProjectFootprint& footprint) {
    double share = footprint.totalBytes < 1 ? 0.0
                                            : static_cast<double>(footprint.reclaimableBytes) /
                                                  static_cast<double>(footprint.totalBytes);
    share = std::clamp(share, 0.0, 1.0);
    // From the green of an all-used project to the amber of an all-reclaimable one.
    const QColor& used = Color::brandGreen();
    const QColor& reclaimable = Color::brandAmber();
    const auto mix = [share](int from, int to) { return float((from + (to - from) * share) / 255); };
    return QColor::fromRgbF(mix(used.red(), reclaimable.red()), mix(used.green(), reclaimable.green()),
                            mix(used.blue(), reclaimable.blue()), 1.0f);
}

QColor clipTileColor(const MediaFile& clip) {
    return isReclaimable(clip) ? Color::brandAmber() : Color::brandGreen();
}

QColor mergedTileColor() {
    return Color::brandSurfaceRaised();
}

QString projectTooltip(const MapTreemapItem& item, const ProjectFootprint* footprint) {
    QString text = item.label + QStringLiteral(" — ") + formatFileByteCount(item.bytes);
    if (footprint)
        text += QStringLiteral(", ") + formatFileByteCount(footprint->reclaimableBytes) +
                QStringLiteral(" reclaimable");
    if (!item.mergedPayloads.isEmpty())
        return text + QStringLiteral(" · click to see these projects");
    return text + QStringLiteral(" · click to drill into clips");
}

QString clipTooltip(const MediaFile& clip) {
    return clip.fileName() + QStringLiteral(" — ") + formatFileByteCount(clip.size) + QStringLiteral(" — ") +
           (isReclaimable(clip) ? QStringLiteral("Unused") : QStringLiteral("Used"));
}

bool showsProjectLabel(const QRectF& rect) {
    return rect.width() > 64 && rect.height() > 30;
}

bool showsProjectReclaimableLine(const QRectF& rect) {
    return showsProjectLabel(rect) && rect.height() > 52;
}

bool showsClipLabel(const QRectF& rect) {
    return rect.width() > 64 && rect.height() > 28;
}

QString shortTileName(const QString& name, const QRectF& rect, const QFontMetricsF& metrics) {
    // The tile's frame is 2 points inside its rectangle.
    const qreal width = rect.width() - 2 - 2 * shortNameInset;
    if (rect.height() - 2 - 2 * shortNameInset < metrics.height() || width <= 0)
        return {};
    if (metrics.horizontalAdvance(name) <= width)
        return name;
    // Character by character from both ends, the end first: similar names differ there (Qt's own
    // middle elision keeps equal halves, and on a small tile that leaves one letter each side).
    // Widths are summed from each character's advance (shaping every candidate took most of the
    // map's first paint); the name chosen is then measured whole, and shortened while it is over.
    const QChar ellipsis(0x2026);
    const qsizetype length = name.size();
    std::vector<qreal> headWidth(size_t(length) + 1, 0.0);
    std::vector<qreal> tailWidth(size_t(length) + 1, 0.0);
    for (qsizetype i = 0; i < length; ++i) {
        headWidth[size_t(i) + 1] = headWidth[size_t(i)] + metrics.horizontalAdvance(name[i]);
        tailWidth[size_t(i) + 1] = tailWidth[size_t(i)] + metrics.horizontalAdvance(name[length - 1 - i]);
    }
    const qreal ellipsisWidth = metrics.horizontalAdvance(ellipsis);
    qsizetype head = 1;
    qsizetype tail = 0;
    auto fits = [&](qsizetype h, qsizetype t) {
        return h + t < length && headWidth[size_t(h)] + ellipsisWidth + tailWidth[size_t(t)] <= width;
    };
    while (true) {
        const bool tailFirst = tail < 3 || tail <= head;
        if (fits(head + (tailFirst ? 0 : 1), tail + (tailFirst ? 1 : 0))) {
            (tailFirst ? tail : head) += 1;
        } else if (fits(head + (tailFirst ? 1 : 0), tail + (tailFirst ? 0 : 1))) {
            (tailFirst ? head : tail) += 1;
        } else {
            break;
        }
    }
    constexpr qsizetype fewest = 3; // fewer tell one tile from another no better than none
    QString shown = name.left(head) + ellipsis + name.right(tail);
    while (head + tail >= fewest && metrics.horizontalAdvance(shown) > width) {
        (head > tail ? head : tail) -= 1;
        shown = name.left(head) + ellipsis + name.right(tail);
    }
    return head + tail >= fewest ? shown : QString();
}

int partsGivingWay(int width, int kept, const QList<RowPart>& parts) {
    int needed = kept;
    for (const RowPart& part : parts)
        needed += part.whole;
    int given = 0;
    while (needed > width && given < parts.size()) {
        needed -= parts.at(given).whole - parts.at(given).reduced;
        ++given;
    }
    return given;
}

} // namespace tarnwick::StorageMap
