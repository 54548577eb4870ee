#include "ui/browser/MediaBadges.h"

#include "platform/ByteCountText.h"
#include "ui/brand/BrandPalette.h"

namespace tarnwick::MediaBadges {

QString statusText(const MediaFile& file) {
    const bool relocated = file.matchedPath.has_value();
    switch (file.status) {
    case MediaFileStatus::checking:
        return QStringLiteral("Checking...");
    case MediaFileStatus::online:
        return relocated ? QStringLiteral("Found") : QStringLiteral("Online");
    case MediaFileStatus::matching:
        return relocated ? QStringLiteral("Found") : QStringLiteral("Matching");
    case MediaFileStatus::offline:
        return QStringLiteral("Offline");
    case MediaFileStatus::networkOffline:
        return QStringLiteral("Network Offline");
    case MediaFileStatus::needsAccess:
        return QStringLiteral("Needs Access");
    case MediaFileStatus::inRecycleBin:
        return QStringLiteral("In Virtual Bin");
    case MediaFileStatus::deleted:
        return QStringLiteral("Deleted");
    case MediaFileStatus::moved:
        return QStringLiteral("Moved");
    case MediaFileStatus::transcoded:
        return QStringLiteral("Transcoded");
    case MediaFileStatus::error:
        return QStringLiteral("Error");
    }
    return {};
}

QColor relocationColor(const MediaFile& file) {
    const bool reachable = file.status == MediaFileStatus::online || file.status == MediaFileStatus::matching;
    return reachable ? Color::brandCyan() : Color::brandTextTertiary();
}

UsageMark usageMark(const MediaFile& file) {
    UsageMark mark;
    if (file.usageCount >= 1) {
        mark.pillText = QString::number(file.usageCount) + QStringLiteral("× used");
        mark.pillColor = Color::brandGreen();
        if (file.usageType == MediaUsageType::videoOnly) {
            mark.symbol = QStringLiteral("video.fill");
            mark.symbolColor = Color::brandCyan();
        } else if (file.usageType == MediaUsageType::audioOnly) {
            mark.symbol = QStringLiteral("speaker.wave.2.fill");
            mark.symbolColor = Color::brandAccent();
        }
    } else if (file.isAEFootage) {
        mark.pillText = QStringLiteral("AE");
        mark.pillColor = Color::brandGreen();
        mark.symbol = QStringLiteral("app.connected.to.app.below.fill");
        mark.symbolColor = Color::brandGreen();
        mark.symbolTooltip = QStringLiteral("Used as footage in a linked After Effects composition");
    } else if (file.isFromDaVinciCSV) {
        mark.pillText = QStringLiteral("DaVinci CSV");
        mark.pillColor = Color::brandCyan();
        mark.pillTooltip =
            QStringLiteral("Imported from a DaVinci Resolve CSV (Usage = 0). DaVinci flagged this clip as "
                           "unused — Tarnwick has not "
                           "analyzed any timeline for it. Confirming it's truly unused is your call.");
    } else {
        mark.pillText = QStringLiteral("Unused");
        mark.pillColor = Color::brandAmber();
        if (file.hasUnresolvedAELink) {
            mark.symbol = QStringLiteral("exclamationmark.triangle.fill");
            mark.symbolColor = Color::brandAmber();
            mark.symbolTooltip = QStringLiteral("Missing After Effects Linked Comp Project File — can't be "
                                                "certain this clip is not used via Dynamic "
                                                "Link. Use Search Offline Files to locate the .aep file.");
        } else if (file.characterAnimatorProject) {
            mark.symbol = QStringLiteral("exclamationmark.triangle.fill");
            mark.symbolColor = Color::brandAmber();
            mark.symbolTooltip = QStringLiteral("Needs review: ") + file.characterAnimatorReason();
        }
    }
    return mark;
}

QString storageIcon(const MediaFile& file) {
    switch (file.storageType) {
    case StorageType::local: {
        const QString& path = file.path;
        const bool drive =
            path.startsWith(QStringLiteral("/Volumes/")) || (path.size() >= 3 && path[1] == u':');
        return drive ? QStringLiteral("externaldrive") : QStringLiteral("internaldrive");
    }
    case StorageType::network:
        return QStringLiteral("server.rack");
    case StorageType::dropbox:
    case StorageType::googleDrive:
    case StorageType::oneDrive:
        return QStringLiteral("cloud");
    case StorageType::iCloud:
        return QStringLiteral("icloud");
    case StorageType::unknown:
        return QStringLiteral("questionmark.folder");
    }
    return {};
}

QString sizeText(qint64 size) {
    return size == 0 ? QStringLiteral("—") : formatFileByteCount(size);
}

bool isLargeSize(qint64 size) {
    return size >= 100'000'000;
}

} // namespace tarnwick::MediaBadges
