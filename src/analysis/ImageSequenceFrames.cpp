#include "analysis/ImageSequenceFrames.h"

#include "analysis/EffectiveUsage.h"
#include "analysis/LowerPathCache.h"
#include "platform/PathText.h"

#include <QSet>

#include <algorithm>

namespace tarnwick {

namespace {

struct Split {
    QString folder;
    QString name;
};

Split split(const QString& key) {
    const qsizetype slash = key.lastIndexOf(u'/');
    if (slash < 0)
        return {QString(), key};
    return {key.first(slash), key.sliced(slash + 1)};
}

QString folderName(const QString& folderKey) {
    return folderKey.sliced(folderKey.lastIndexOf(u'/') + 1);
}

} // namespace

QString ImageSequenceFrames::key(const QString& path) {
    QString key = LowerPathCache::lowerKey(path);
    key.replace(u'\\', u'/');
    // The root folder too: its files split into an empty folder and their name.
    while (key.endsWith(u'/'))
        key.chop(1);
    return key;
}

ImageSequenceFrames::ImageSequenceFrames(const QList<ImageSequence>& sequences) {
    for (qsizetype k = 0; k < sequences.size(); ++k) {
        Held held{sequences[k], k};
        held.sequence.prefix = LowerPathCache::lowerKey(held.sequence.prefix);
        held.sequence.suffix = LowerPathCache::lowerKey(held.sequence.suffix);
        const QString folder = key(held.sequence.folder);
        if (!m_folderLengths.contains(folder.size()))
            m_folderLengths.append(folder.size());
        m_byFolderName[folderName(folder)].append(held);
        m_byFolder[folder].append(std::move(held));
    }
}

QList<qsizetype> ImageSequenceFrames::matching(const QHash<QString, QList<Held>>& table,
                                               const QString& folderKey, const QString& name) const {
    QList<qsizetype> found;
    const auto held = table.constFind(folderKey);
    if (held == table.cend())
        return found;
    for (const Held& h : held.value()) {
        if (h.sequence.frameNumber(name))
            found.append(h.position);
    }
    return found;
}

QList<qsizetype> ImageSequenceFrames::sequencesHolding(const QString& path) const {
    if (isEmpty())
        return {};
    const QString pathKey = key(path);
    // A recount asks this of every listed path: only a folder as long as some sequence's is looked
    // up, the others are passed over without a copy of their folder.
    if (!m_folderLengths.contains(std::max<qsizetype>(pathKey.lastIndexOf(u'/'), 0)))
        return {};
    const Split parts = split(pathKey);
    return matching(m_byFolder, parts.folder, parts.name);
}

QList<std::pair<qsizetype, qsizetype>>
ImageSequenceFrames::listedFrames(const QList<MediaFile>& media) const {
    QList<std::pair<qsizetype, qsizetype>> frames;
    if (isEmpty())
        return frames;
    QSet<std::pair<qsizetype, qsizetype>> seen;
    QSet<qsizetype> placed;
    const auto take = [&](qsizetype entry, qsizetype sequence) {
        if (!seen.contains({entry, sequence})) {
            seen.insert({entry, sequence});
            frames.append({entry, sequence});
        }
    };
    const auto eachPath = [](const MediaFile& file, const auto& visit) {
        visit(file.path);
        if (file.matchedPath)
            visit(*file.matchedPath);
        for (const QString& alternative : file.alternativePaths)
            visit(alternative);
    };
    for (qsizetype i = 0; i < media.size(); ++i) {
        eachPath(media[i], [&](const QString& path) {
            for (const qsizetype s : sequencesHolding(path)) {
                take(i, s);
                placed.insert(s);
            }
        });
    }
    // Only a sequence with no frame in its folder looks in folders of its folder's name, and only a
    // folder of a name as long as such a folder's needs a look-up.
    QList<qsizetype> nameLengths;
    for (auto held = m_byFolder.cbegin(); held != m_byFolder.cend(); ++held) {
        const qsizetype length = folderName(held.key()).size();
        for (const Held& h : held.value()) {
            if (!placed.contains(h.position) && !nameLengths.contains(length))
                nameLengths.append(length);
        }
    }
    if (nameLengths.isEmpty())
        return frames;
    for (qsizetype i = 0; i < media.size(); ++i) {
        eachPath(media[i], [&](const QString& path) {
            const QString pathKey = key(path);
            const qsizetype slash = pathKey.lastIndexOf(u'/');
            const qsizetype nameLength = slash <= 0 ? 0 : slash - pathKey.lastIndexOf(u'/', slash - 1) - 1;
            if (!nameLengths.contains(nameLength))
                return;
            const Split parts = split(pathKey);
            for (const qsizetype s : matching(m_byFolderName, folderName(parts.folder), parts.name)) {
                if (!placed.contains(s))
                    take(i, s);
            }
        });
    }
    return frames;
}

void ImageSequenceFrames::addFrameUsage(AggregatedUsage& usage, const QList<ProjectFile>& projects,
                                        const QList<QStringList>& lowerPaths) {
    QList<ImageSequence> used;
    QList<AggregatedProjectUsage> firstFrames; // copies: a record may be both a first frame and a frame
    QStringList firstKeys;
    for (const ProjectFile& project : projects) {
        for (const ImageSequence& sequence : project.numberedStills) {
            const QString firstKey = LowerPathCache::lowerKey(sequence.firstFramePath);
            const AggregatedProjectUsage* first = usage.find(firstKey);
            if (!first || first->usageCount < 1)
                continue;
            used.append(sequence);
            firstFrames.append(*first);
            firstKeys.append(firstKey);
            // A project copied with its media finds them by its relative path: the frames are there.
            const QString moved = project.relativeCandidates.value(sequence.firstFramePath);
            if (!moved.isEmpty()) {
                used.append(sequence);
                used.last().folder = path::deletingLastPathComponent(moved);
                firstFrames.append(*first);
                firstKeys.append(firstKey);
            }
        }
    }
    if (used.isEmpty())
        return;
    const ImageSequenceFrames frames(used);
    QSet<qsizetype> done;
    for (const QStringList& paths : lowerPaths) {
        for (const QString& path : paths) {
            // Nearly no path is a frame: that is asked first, as it costs no look-up of the path.
            const QList<qsizetype> holding = frames.sequencesHolding(path);
            if (holding.isEmpty())
                continue;
            const qsizetype* record = usage.indexByLowerPath.find(path);
            if (!record || done.contains(*record))
                continue;
            done.insert(*record);
            // One media used by several projects is one record: added once.
            QSet<QString> added{path};
            for (const qsizetype s : holding) {
                if (added.contains(firstKeys[s]))
                    continue;
                added.insert(firstKeys[s]);
                addUsage(usage.records[std::size_t(*record)], firstFrames[s]);
            }
        }
    }
}

} // namespace tarnwick
