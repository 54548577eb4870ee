#include "readers/PrprojClipChain.h"

#include "readers/PrprojPatterns.h"

#include <optional>
#include <unordered_set>

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
    IdMap<qint64> perTimeline;
};

} // namespace

MasterClipMapping mapSubClipsToMasterClips(const TimelineClips& clips, const MarkerIndex& index) {
    MasterClipMapping out;
    if (clips.videoClipCounts.empty() && clips.audioClipCounts.empty())
        return out;
    constexpr MarkerMask relevant = bits(subClipID, masterClipURef, subClipEnd);
    IdMap<MasterUse> masters;
    std::unordered_set<Id> matched;
    std::optional<Id> current;
    bool fromVideo = false;
    bool fromAudio = false;
    for (const MarkedLine& line : index.lines) {
        if ((line.mask & relevant) == 0)
            continue;
        if (line.has(subClipID)) {
            if (auto id = firstCapture(Pattern::subClipStart, line.text)) {
                fromVideo = clips.videoClipCounts.count(*id) != 0;
                fromAudio = clips.audioClipCounts.count(*id) != 0;
                current = fromVideo || fromAudio ? std::optional<Id>(*id) : std::nullopt;
            }
        }
        if ((fromVideo || fromAudio) && line.has(masterClipURef)) {
            if (auto ref = firstCapture(Pattern::masterClipRef, line.text)) {
                const Id s = *current;
                MasterUse& use = masters[*ref];
                use.video |= fromVideo;
                use.audio |= fromAudio;
                const qint64 total = std::max<qint64>(
                    countOf(clips.videoClipCounts, s) + countOf(clips.audioClipCounts, s), 1);
                use.usage += total;
                matched.insert(s);
                qint64 attributed = 0;
                const auto occ = clips.sequenceOccurrencesBySubClip.find(s);
                if (occ != clips.sequenceOccurrencesBySubClip.end()) {
                    for (const auto& [timeline, count] : occ->second) {
                        if (count >= 1)
                            use.perTimeline[timeline] += count;
                        attributed += count;
                    }
                }
                use.unattributed += std::max<qint64>(total - attributed, 0);
            }
        }
        if (line.has(subClipEnd)) {
            current.reset();
            fromVideo = fromAudio = false;
        }
    }
    for (const auto& [ref, use] : masters) {
        const QString m = toQString(ref);
        out.usedMasterClipRefs.insert(m);
        if (use.audio && !use.video)
            out.audioOnlyMasterClipRefs.insert(m);
        out.usageCountByMasterClip.insert(m, use.usage);
        SequenceUsageAttribution a;
        for (const auto& [timeline, count] : use.perTimeline)
            a.occurrencesBySequenceID.insert(toQString(timeline), count);
        a.unattributedOccurrences = use.unattributed;
        out.attributionByMasterClip.insert(m, std::move(a));
    }
    qint64 unmatched = 0;
    for (const auto& [id, count] : clips.videoClipCounts)
        unmatched += matched.count(id) == 0 ? 1 : 0;
    for (const auto& [id, count] : clips.audioClipCounts)
        unmatched += matched.count(id) == 0 && clips.videoClipCounts.count(id) == 0 ? 1 : 0;
    out.unmatchedClipCount = unmatched;
    return out;
}

MasterClipMediaChain::MasterClipMediaChain(const MarkerIndex& index) {
    IdMap<std::vector<Id>> masterClipClipRefs;
    IdMap<std::vector<Id>> clipSourceRefs;
    IdMap<Id> mediaSourceMediaRef;
    constexpr MarkerMask relevant =
        bits(masterClipUID, clipIndex, masterClipEnd, clipID, sourceRef, videoClipEnd, audioClipEnd,
             mediaSourceID, mediaURef, videoMediaSourceEnd, audioMediaSourceEnd);
    // The three block kinds are read by independent scanners, so they share one replay.
    std::optional<Id> masterClip;
    std::optional<Id> clip;
    std::optional<Id> mediaSource;
    for (const MarkedLine& line : index.lines) {
        if ((line.mask & relevant) == 0)
            continue;
        if (line.has(masterClipUID)) {
            if (auto id = firstCapture(Pattern::masterClipStart, line.text))
                masterClip = *id;
        }
        if (masterClip && line.has(clipIndex)) {
            if (auto ref = firstCapture(Pattern::clipRef, line.text))
                masterClipClipRefs[*masterClip].push_back(*ref);
        }
        if (line.has(masterClipEnd))
            masterClip.reset();

        if (line.has(clipID)) {
            if (auto id = firstCapture(Pattern::clipStart, line.text))
                clip = *id;
        }
        if (clip && line.has(sourceRef)) {
            if (auto ref = firstCapture(Pattern::sourceRef, line.text))
                clipSourceRefs[*clip].push_back(*ref);
        }
        if (line.has(videoClipEnd) || line.has(audioClipEnd))
            clip.reset();

        if (line.has(mediaSourceID)) {
            if (auto id = firstCapture(Pattern::mediaSourceStart, line.text))
                mediaSource = *id;
        }
        if (mediaSource && line.has(mediaURef)) {
            if (auto ref = firstCapture(Pattern::mediaRef, line.text))
                mediaSourceMediaRef[*mediaSource] = *ref;
        }
        if (line.has(videoMediaSourceEnd) || line.has(audioMediaSourceEnd))
            mediaSource.reset();
    }
    // Follow clips and sources now (this runs beside the media scan); only the media paths are
    // joined later.
    for (const auto& [master, clipIDs] : masterClipClipRefs) {
        std::vector<Id>& refs = m_mediaRefsByMasterClip[master];
        for (Id c : clipIDs) {
            const auto sources = clipSourceRefs.find(c);
            if (sources == clipSourceRefs.end())
                continue;
            for (Id source : sources->second) {
                const auto media = mediaSourceMediaRef.find(source);
                if (media != mediaSourceMediaRef.end())
                    refs.push_back(media->second);
            }
        }
    }
}

void MasterClipMediaChain::attach(const IdMap<QStringList>& mediaPathsByMediaUID) {
    m_mediaPaths = &mediaPathsByMediaUID;
    m_resolvedCount = 0;
    for (const auto& [master, refs] : m_mediaRefsByMasterClip) {
        for (Id ref : refs) {
            const auto found = m_mediaPaths->find(ref);
            if (found != m_mediaPaths->end() && !found->second.isEmpty()) {
                ++m_resolvedCount;
                break;
            }
        }
    }
}

QStringList MasterClipMediaChain::pathsOf(Id masterClip) const {
    QStringList paths;
    const auto refs = m_mediaRefsByMasterClip.find(masterClip);
    if (refs == m_mediaRefsByMasterClip.end() || !m_mediaPaths)
        return paths;
    for (Id ref : refs->second) {
        const auto found = m_mediaPaths->find(ref);
        if (found == m_mediaPaths->end())
            continue;
        for (const QString& p : found->second)
            addUnique(paths, p);
    }
    return paths;
}

ReferenceChain MasterClipMediaChain::asReferenceChain() const {
    return {m_resolvedCount, [this](const QString& id) {
                const QByteArray utf8 = id.toUtf8();
                return pathsOf(Id(utf8.constData(), static_cast<std::size_t>(utf8.size())));
            }};
}

} // namespace tarnwick::prproj
