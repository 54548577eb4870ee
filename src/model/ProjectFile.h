#pragma once

#include "model/FreshId.h"
#include "model/ImageSequence.h"
#include "model/ProjectSequence.h"
#include "model/SequenceUsageAttribution.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One imported project. Equality and hashing use `id` only: two imports of one file are two projects.
struct ProjectFile {
    QUuid id = freshId();
    QUrl url;
    QString name;
    QStringList mediaFiles;
    QStringList usedFiles;
    QStringList audioOnlyFiles;
    QHash<QString, int> usageCountByPath;
    QHash<QString, QSet<QString>> sequenceNamesByPath;
    QStringList sequenceNames;
    QList<ProjectSequence> sequences;
    QHash<QString, SequenceUsageAttribution> sequenceUsageByPath;
    QHash<QString, QString> relativeCandidates;
    int nestedSequenceCount = 0;
    std::optional<QString> parseError;
    QStringList parseWarnings;
    // Names of timeline clips the reader could not match to a file: files of these names, in any
    // project, need review.
    QStringList unresolvedClipNames;
    // Media that are numbered sequences of stills, each named by its first frame: the other frames
    // are that media too.
    QList<ImageSequence> numberedStills;
    // For an After Effects project it lists, the compositions of it that its media titles name
    // (lower-cased): a file of that project's name elsewhere that holds them is the one it links.
    QHash<QString, QStringList> linkedCompositions;

    // Uses tied to no timeline, over all paths.
    qint64 countDerived() const;

    friend bool operator==(const ProjectFile& a, const ProjectFile& b) { return a.id == b.id; }
};

size_t qHash(const ProjectFile& p, size_t seed = 0);

} // namespace tarnwick
