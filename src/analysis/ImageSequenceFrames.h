#pragma once

#include "model/ImageSequence.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"

#include <QHash>
#include <QList>
#include <QString>

#include <utility>

namespace tarnwick {

struct AggregatedUsage;

// The listed files that are frames of numbered sequences of stills. A project uses such a sequence
// as one piece of media, but the editor may list any of its frames as a file of its own: that file
// is used with the sequence. Paths are compared ignoring case and Unicode form, "\" read as "/".
class ImageSequenceFrames {
public:
    explicit ImageSequenceFrames(const QList<ImageSequence>& sequences);

    bool isEmpty() const { return m_byFolder.isEmpty(); }

    // Positions (in the list given) of the sequences whose folder holds the file as one of their frames.
    QList<qsizetype> sequencesHolding(const QString& path) const;

    // Pairs of (entry position, sequence position): each entry of `media` whose path, matched path or
    // alternative path is a frame of a sequence. A sequence none of whose frames lies in its folder
    // takes the frames in folders of its folder's name instead (the footage moved with its folder).
    QList<std::pair<qsizetype, qsizetype>> listedFrames(const QList<MediaFile>& media) const;

    // Each record of a path that is a frame of a numbered-stills media that some project uses takes
    // that media's usage (the record of its first frame): counts, timelines and projects. The frames
    // are looked for in the folder of the project's relative candidate for the media too.
    // `lowerPaths` holds each project's paths as the aggregate keys them, in `projects` order.
    static void addFrameUsage(AggregatedUsage& usage, const QList<ProjectFile>& projects,
                              const QList<QStringList>& lowerPaths);

    static QString key(const QString& path);

private:
    struct Held {
        ImageSequence sequence; // prefix and suffix as keys
        qsizetype position;
    };
    QList<qsizetype> matching(const QHash<QString, QList<Held>>& table, const QString& folderKey,
                              const QString& name) const;

    QHash<QString, QList<Held>> m_byFolder;
    QHash<QString, QList<Held>> m_byFolderName;
    QList<qsizetype> m_folderLengths; // the lengths of the m_byFolder keys, each once
};

} // namespace tarnwick
