#include "readers/PrprojClipChain.h"

#include "readers/PrprojPatterns.h"
#include "readers/PrprojTextFilters.h"
#include "readers/ReaderTask.h"

#include <algorithm>
#include <map>
#include <optional>

namespace tarnwick::prproj {

namespace {

qint64 countOf(const IdMap<qint64>& counts, Id id) {
    const auto it = counts.find(id);
    return it == counts.end() ? 0 : it->second;
}

struct MasterUse {
    bool video = false;
    bool audio = false;
    qint64 usage = 0;
    qint64 unattributed = 0;
    TimelineCounts perTimeline; // a handful of timelines at most
};

} // namespace

std::vector<SubClipMasterRef> collectSubClipMasterRefs(const MarkerIndex& index) {
    constexpr MarkerMask relevant = bits(subClipID, masterClipURef, subClipEnd);
    std::vector<SubClipMasterRef> refs;
    refs.reserve(index.linesWith[masterClipURef]);
    std::optional<Id> current; // the last sub-clip identifier read since the last block end
    forEachMarked(index.lines, relevant, [&](const MarkedLine& line) {
        if (line.has(subClipID)) {
            if (auto id = firstCapture(Pattern::subClipStart, line.text))
                current = *id;
        }
        if (current && line.has(masterClipURef)) {
            if (auto ref = firstCapture(Pattern::masterClipRef, line.text))
                refs.push_back({*current, *ref});
        }
        if (line.has(subClipEnd))
            current.reset();
    });
    return refs;
}

MasterClipMapping mapSubClipsToMasterClips(const TimelineClips& clips, const MarkerIndex& index) {
    return mapSubClipsToMasterClips(clips, collectSubClipMasterRefs(index));
}

MasterClipMapping mapSubClipsToMasterClips(const TimelineClips& clips,
                                           const std::vector<SubClipMasterRef>& refs) {
    MasterClipMapping out;
    if (clips.videoClipCounts.empty() && clips.audioClipCounts.empty())
        return out;
    IdMap<MasterUse> masters;
    IdSet matched;
    masters.reserve(refs.size());
    matched.reserve(refs.size());
    for (const auto& [s, ref] : refs) {
        const bool fromVideo = clips.videoClipCounts.count(s) != 0;
        const bool fromAudio = clips.audioClipCounts.count(s) != 0;
        if (!fromVideo && !fromAudio)
            continue;
        MasterUse& use = masters[ref];
        use.video |= fromVideo;
        use.audio |= fromAudio;
        const qint64 total =
            std::max<qint64>(countOf(clips.videoClipCounts, s) + countOf(clips.audioClipCounts, s), 1);
        use.usage += total;
        matched.insert(s);
        qint64 attributed = 0;
        const auto occ = clips.sequenceOccurrencesBySubClip.find(s);
        if (occ != clips.sequenceOccurrencesBySubClip.end()) {
            for (const auto& [timeline, count] : occ->second) {
                if (count >= 1)
                    addCount(use.perTimeline, timeline, count);
                attributed += count;
            }
        }
        use.unattributed += std::max<qint64>(total - attributed, 0);
    }
    // Master clips mostly share the same few counts: equal tables are made once and shared.
    std::map<TimelineCounts, QHash<QString, qint64>> tables;
    out.usedMasterClipRefs.reserve(static_cast<qsizetype>(masters.size()));
    out.usageCountByMasterClip.reserve(static_cast<qsizetype>(masters.size()));
    out.attributionByMasterClip.reserve(static_cast<qsizetype>(masters.size()));
    for (auto& [ref, use] : masters) {
        const QString m = toQString(ref);
        out.usedMasterClipRefs.insert(m);
        if (use.audio && !use.video)
            out.audioOnlyMasterClipRefs.insert(m);
        out.usageCountByMasterClip.insert(m, use.usage);
        std::sort(use.perTimeline.begin(), use.perTimeline.end());
        auto [table, added] = tables.try_emplace(use.perTimeline);
        if (added) {
            for (const auto& [timeline, count] : use.perTimeline)
                table->second.insert(toQString(timeline), count);
        }
        out.attributionByMasterClip.insert(m, SequenceUsageAttribution{table->second, use.unattributed});
    }
    qint64 unmatched = 0;
    for (const auto& [id, count] : clips.videoClipCounts)
        unmatched += matched.count(id) == 0 ? 1 : 0;
    for (const auto& [id, count] : clips.audioClipCounts)
        unmatched += matched.count(id) == 0 && clips.videoClipCounts.count(id) == 0 ? 1 : 0;
    out.unmatchedClipCount = unmatched;
    return out;
}

namespace {

// One block kind of the chain: `start` opens a block and gives its identifier, `ref` adds a
// reference inside it, the `end` markers close it. Each kind is an independent scanner.
template <typename Add>
void readBlocks(const MarkerIndex& index, Marker start, Pattern startPattern, Marker ref, Pattern refPattern,
                MarkerMask ends, const Add& add) {
    const MarkerMask relevant = bit(start) | bit(ref) | ends;
    std::optional<Id> block;
    forEachMarked(index.lines, relevant, [&](const MarkedLine& line) {
        if (line.has(start)) {
            if (auto id = firstCapture(startPattern, line.text))
                block = *id;
        }
        if (block && line.has(ref)) {
            if (auto r = firstCapture(refPattern, line.text))
                add(*block, *r);
        }
        if (line.mask & ends)
            block.reset();
    });
}

// Each sequence source block -> the timeline it shows (empty until its reference is read). The
// reference follows the block's start; any other object's start ends the block.
IdMap<Id> readSequenceSources(const MarkerIndex& index) {
    constexpr MarkerMask others = bits(mediaSourceID, clipID, masterClipUID, subClipID, mediaUID);
    IdMap<Id> sequenceOfSource;
    std::optional<Id> block;
    forEachMarked(index.lines, bits(sequenceSourceID, sequenceURef) | others, [&](const MarkedLine& line) {
        if (line.has(sequenceSourceID)) {
            block.reset();
            if (auto id = firstCapture(Pattern::sequenceSourceStart, line.text)) {
                block = *id;
                sequenceOfSource[*id];
            }
        } else if (line.mask & others) {
            block.reset();
        }
        if (block && line.has(sequenceURef)) {
            if (auto ref = firstCapture(Pattern::nestedSequenceRef, line.text)) {
                sequenceOfSource[*block] = *ref;
                block.reset();
            }
        }
    });
    return sequenceOfSource;
}

} // namespace

MasterClipMediaChain::MasterClipMediaChain(const MarkerIndex& index, bool parallel) {
    const auto& n = index.linesWith;
    IdLists masterClipClipRefs;
    IdLists clipSourceRefs;
    IdMap<Id> mediaSourceMediaRef;
    IdMap<Id> mediaSourceProxyRef;
    masterClipClipRefs.reserve(n[masterClipUID], n[clipIndex]);
    clipSourceRefs.reserve(n[clipID], n[sourceRef]);
    mediaSourceMediaRef.reserve(n[mediaSourceID]);
    ReaderTask<void> clips(
        [&] {
            readBlocks(index, clipID, Pattern::clipStart, sourceRef, Pattern::sourceRef,
                       bits(videoClipEnd, audioClipEnd),
                       [&](Id clip, Id source) { clipSourceRefs.add(clip, source); });
            clipSourceRefs.seal();
        },
        parallel);
    ReaderTask<void> sources(
        [&] {
            readBlocks(index, mediaSourceID, Pattern::mediaSourceStart, mediaURef, Pattern::mediaRef,
                       bits(videoMediaSourceEnd, audioMediaSourceEnd),
                       [&](Id source, Id media) { mediaSourceMediaRef[source] = media; });
            // A proxy attached to the source's media, written beside it in the source's content.
            if (n[proxyMediaURef] != 0)
                readBlocks(index, mediaSourceID, Pattern::mediaSourceStart, proxyMediaURef,
                           Pattern::proxyMediaRef, bits(videoMediaSourceEnd, audioMediaSourceEnd),
                           [&](Id source, Id proxy) { mediaSourceProxyRef[source] = proxy; });
        },
        parallel);
    readBlocks(index, masterClipUID, Pattern::masterClipStart, clipIndex, Pattern::clipRef,
               bit(masterClipEnd), [&](Id master, Id clip) { masterClipClipRefs.add(master, clip); });
    masterClipClipRefs.seal();
    // A timeline's own master clip (the one a nested sequence is placed through) shows sequence
    // sources instead of media sources.
    const IdMap<Id> sequenceOfSource = readSequenceSources(index);
    clips.get();
    sources.get();
    // Follow clips and sources now (this runs beside the media scan); only the media paths are
    // joined later.
    m_rangeByMasterClip.reserve(masterClipClipRefs.keyCount());
    for (std::size_t k = 0; k < masterClipClipRefs.keyCount(); ++k) {
        const Id master = masterClipClipRefs.key(k);
        const std::size_t first = m_mediaRefs.size();
        const std::size_t firstProxy = m_proxyRefs.size();
        std::optional<Id> sequence;
        for (Id c : masterClipClipRefs.values(k)) {
            for (Id source : clipSourceRefs.find(c)) {
                const auto media = mediaSourceMediaRef.find(source);
                if (media != mediaSourceMediaRef.end()) {
                    m_mediaRefs.push_back(media->second);
                    const auto proxy = mediaSourceProxyRef.find(source);
                    if (proxy != mediaSourceProxyRef.end())
                        m_proxyRefs.push_back(proxy->second);
                    continue;
                }
                const auto shown = sequenceOfSource.find(source);
                if (shown != sequenceOfSource.end() && (!sequence || sequence->empty()))
                    sequence = shown->second;
            }
        }
        if (m_mediaRefs.size() > first)
            m_rangeByMasterClip[master] = {first, m_mediaRefs.size()};
        else if (sequence)
            m_sequenceOfMasterClip[master] = *sequence;
        if (m_proxyRefs.size() > firstProxy)
            m_proxyRangeByMasterClip[master] = {firstProxy, m_proxyRefs.size()};
    }
}

std::span<const Id> MasterClipMediaChain::mediaRefsOf(Id masterClip) const {
    const auto range = m_rangeByMasterClip.find(masterClip);
    if (range == m_rangeByMasterClip.end())
        return {};
    return {m_mediaRefs.data() + range->second.first, range->second.second - range->second.first};
}

std::span<const Id> MasterClipMediaChain::proxyRefsOf(Id masterClip) const {
    const auto range = m_proxyRangeByMasterClip.find(masterClip);
    if (range == m_proxyRangeByMasterClip.end())
        return {};
    return {m_proxyRefs.data() + range->second.first, range->second.second - range->second.first};
}

void MasterClipMediaChain::attach(const IdMap<QStringList>& mediaPathsByMediaUID,
                                  const IdSet* generatedMediaUIDs) {
    m_mediaPaths = &mediaPathsByMediaUID;
    m_generatedMedia = generatedMediaUIDs;
    m_resolvedCount = 0;
    const auto resolves = [&](Id ref) {
        const auto found = m_mediaPaths->find(ref);
        return found != m_mediaPaths->end() && !found->second.isEmpty();
    };
    for (const auto& [master, range] : m_rangeByMasterClip) {
        const std::span<const Id> media = mediaRefsOf(master);
        const std::span<const Id> proxies = proxyRefsOf(master);
        if (std::any_of(media.begin(), media.end(), resolves) ||
            std::any_of(proxies.begin(), proxies.end(), resolves))
            ++m_resolvedCount;
    }
}

void MasterClipMediaChain::addPathsOf(std::span<const Id> refs, QStringList& paths) const {
    for (Id ref : refs) {
        const auto found = m_mediaPaths->find(ref);
        if (found == m_mediaPaths->end())
            continue;
        for (const QString& p : found->second)
            addUnique(paths, p);
    }
}

QStringList MasterClipMediaChain::pathsOf(Id masterClip) const {
    QStringList paths;
    if (!m_mediaPaths)
        return paths;
    addPathsOf(mediaRefsOf(masterClip), paths);
    // The clip's proxies are used wherever the clip is: they go with it.
    addPathsOf(proxyRefsOf(masterClip), paths);
    return paths;
}

bool MasterClipMediaChain::isGenerated(Id masterClip) const {
    const std::span<const Id> refs = mediaRefsOf(masterClip);
    if (!m_generatedMedia || refs.empty())
        return false;
    return std::all_of(refs.begin(), refs.end(), [&](Id ref) { return m_generatedMedia->count(ref) != 0; });
}

bool MasterClipMediaChain::standsForSequence(Id masterClip) const {
    return m_sequenceOfMasterClip.count(masterClip) != 0;
}

namespace {

// The last component of a path written with either separator.
QString fileNameOf(const QString& path) {
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(slash + 1).trimmed();
}

void addName(QStringList& names, const QString& name) {
    if (!name.isEmpty() && !names.contains(name))
        names.append(name);
}

} // namespace

IdMap<QStringList> readMediaNames(const MarkerIndex& index) {
    IdMap<QStringList> names;
    std::optional<Id> block;
    forEachMarked(
        index.lines, bits(mediaUID, mediaTitle, actualPath, filePath, mediaEnd), [&](const MarkedLine& line) {
            if (line.has(mediaUID)) {
                block.reset();
                if (auto id = firstCapture(Pattern::mediaStart, line.text))
                    block = *id;
            }
            if (block && line.has(mediaTitle)) {
                if (auto t = textBetween(line.text, "<Title>", "</Title>", false))
                    addName(names[*block], decodeXMLEntities(toQString(*t)).trimmed());
            }
            if (block && line.has(actualPath)) {
                if (auto a = textBetween(line.text, "<ActualMediaFilePath>", "</ActualMediaFilePath>", false))
                    addName(names[*block], fileNameOf(decodeXMLEntities(toQString(*a))));
            }
            if (block && line.has(filePath)) {
                if (auto f = textBetween(line.text, "<FilePath>", "</FilePath>", true); f && !f->empty()) {
                    std::optional<QString> value = toQString(*f);
                    if (f->front() == '{')
                        value = jsonStringValue(QStringLiteral("mFilePath"), *value);
                    if (value)
                        addName(names[*block], fileNameOf(decodeXMLEntities(*value)));
                }
            }
            if (line.has(mediaEnd))
                block.reset();
        });
    return names;
}

QStringList MasterClipMediaChain::mediaNamesOf(Id masterClip, const IdMap<QStringList>& names) const {
    QStringList out;
    for (Id ref : mediaRefsOf(masterClip)) {
        const auto found = names.find(ref);
        if (found == names.end())
            continue;
        for (const QString& name : found->second)
            addName(out, name);
    }
    return out;
}

qsizetype MasterClipMediaChain::nestedSequenceCount(const QSet<QString>& usedMasterClips) const {
    if (m_sequenceOfMasterClip.empty())
        return 0;
    QSet<QString> nested;
    for (const QString& m : usedMasterClips) {
        const QByteArray utf8 = m.toUtf8();
        const auto found = m_sequenceOfMasterClip.find(viewOf(utf8));
        if (found == m_sequenceOfMasterClip.end())
            continue;
        // A timeline's master clip whose sources do not name it still stands for one timeline.
        nested.insert(found->second.empty() ? QStringLiteral("master:") + m : toQString(found->second));
    }
    return nested.size();
}

ReferenceChain MasterClipMediaChain::asReferenceChain() const {
    // Each view lives as long as the call it is made for: no result keeps it.
    return {m_resolvedCount,
            [this](const QString& masterClipID) { return pathsOf(viewOf(masterClipID.toUtf8())); },
            [this](const QString& masterClipID) { return isGenerated(viewOf(masterClipID.toUtf8())); },
            [this](const QString& masterClipID) { return standsForSequence(viewOf(masterClipID.toUtf8())); },
            {}};
}

} // namespace tarnwick::prproj
