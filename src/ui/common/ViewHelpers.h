#pragma once

#include "model/MediaFile.h"
#include "model/ScoredMatch.h"
#include "model/StorageType.h"

#include <QColor>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <functional>

namespace tarnwick {

// The file that now stands for the entry, whose picture the views show and play: the transcoded
// output once a transcode replaced the source, else where the file was found, else its path.
QString standingPath(const MediaFile& file);
// What a file's previews are made from: its proxy, and its standing path while it is on disk. When
// it changes (the file was replaced, relinked, or went off or came back on the disk) the previews
// are made again.
QString previewSource(const MediaFile& file);

// The brand colour of a file's status; an online file found elsewhere (matched path) is cyan.
QColor statusColor(const MediaFile& file);
// The brand colour of a storage type.
QColor brandColor(StorageType storage);

enum class MediaKind { video, audio, image, other };
// Extension without the dot, any case.
MediaKind mediaKindFromExtension(const QString& fileExtension);

// One styled piece of a text.
struct TextRun {
    QString text;
    QColor color; // alpha carries the opacity
    bool bold = false;
    friend bool operator==(const TextRun&, const TextRun&) = default;
};
// A path whose last `matching` components matched: the head dimmed, the matched tail bold.
QList<TextRun> highlightedPath(const QString& path, int matching, const QColor& color);
// The runs as rich text for a label (escaped).
QString richText(const QList<TextRun>& runs);

// The delete-safety alert's message: the first reason, "…and N more conflict(s)" when there are
// more, and the warning line; empty without reasons.
QString deleteSafetyMessage(const QStringList& reasons);

// The three preset ignore patterns of the timeline usage sheet, in button order.
const QStringList& presetIgnorePatterns();
// Runs the preset at `index` through the sheet's add-rule operation (pattern in, ignore action).
void applyPresetRule(int index, const std::function<void(const QString& pattern)>& addRule);

struct OfflineMatchGroup {
    QUuid id;
    QString offlineFilePath;
    QList<ScoredMatch> candidates; // best score first

    // One group per entry, in the hash's order, each with a new id; candidates sorted stably.
    static QList<OfflineMatchGroup> groups(const QHash<QString, QList<ScoredMatch>>& byPath);
};

// A project file found by the easy import.
struct DiscoveredProject {
    QUuid id = QUuid::createUuid();
    QUrl url;
    QString fileName;
    qint64 size = 0;
    QString parentDirectory;    // the folder that holds the file
    QDateTime modificationDate; // invalid when unreadable
};

struct DiscoveredProjectFolder {
    QString directory;
    QList<DiscoveredProject> projects; // by file name, code-point order
};
// One pair per folder, in the hash's order; projects sorted stably by plain comparison.
QList<DiscoveredProjectFolder>
discoveredProjectList(const QHash<QString, QList<DiscoveredProject>>& byFolder);

} // namespace tarnwick
