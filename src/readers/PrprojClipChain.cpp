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

} // namespace

MasterClipMapping mapSubClipsToMasterClips(const TimelineClips& clips, const MarkerIndex& index) {
    MasterClipMapping out;
    if (clips.videoClipCounts.empty() && clips.audioClipCounts.empty())
        return out;
    constexpr MarkerMask relevant = bits(subClipID, masterClipURef, subClipEnd);
    QSet<QString> videoMasters;
    QSet<QString> audioMasters;
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
                const QString m = toQString(*ref);
                const Id s = *current;
                if (fromVideo)
                    videoMasters.insert(m);
                if (fromAudio)
                    audioMasters.insert(m);
                const qint64 total =
                    std::max<qint64>(countOf(clips.videoClipCounts, s) + countOf(clips.audioClipCounts, s), 1);
                out.usageCountByMasterClip[m] += total;
                matched.insert(s);
                QHash<QString, qint64> perTimeline;
                qint64 attributed = 0;
                const auto occ = clips.sequenceOccurrencesBySubClip.find(s);
                if (occ != clips.sequenceOccurrencesBySubClip.end()) {
                    for (const auto& [timeline, count] : occ->second) {
                        perTimeline.insert(toQString(timeline), count);
                        attributed += count;
                    }
                }
                out.attributionByMasterClip[m].merge(perTimeline, std::max<qint64>(total - attributed, 0));
            }
        }
        if (line.has(subClipEnd)) {
            current.reset();
            fromVideo = fromAudio = false;
        }
    }
    out.usedMasterClipRefs = videoMasters | audioMasters;
    out.audioOnlyMasterClipRefs = audioMasters - videoMasters;
    qint64 unmatched = 0;
    for (const auto& [id, count] : clips.videoClipCounts)
        unmatched += matched.count(id) == 0 ? 1 : 0;
    for (const auto& [id, count] : clips.audioClipCounts)
        unmatched += matched.count(id) == 0 && clips.videoClipCounts.count(id) == 0 ? 1 : 0;
    out.unmatchedClipCount = unmatched;
    return out;
}

QHash<QString, QSet<QString>> resolveMasterClipMedia(const MarkerIndex& index,
                                                     const IdMap<QSet<QString>>& mediaPathsByMediaUID) {
    constexpr MarkerMask relevant =
        bits(masterClipUID, clipIndex, masterClipEnd, clipID, sourceRef, videoClipEnd, audioClipEnd, mediaSourceID,
             mediaURef, videoMediaSourceEnd, audioMediaSourceEnd);
    // The three block kinds are independent, so their scans share one replay of the lines.
    std::vector<std::pair<Id, std::vector<Id>>> masterClipClipRefs; // in order of first appearance
    IdMap<std::size_t> masterClipSlot;
    IdMap<std::vector<Id>> clipSourceRefs;
    IdMap<Id> mediaSourceMediaRef;
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
            if (auto ref = firstCapture(Pattern::clipRef, line.text)) {
                const auto [slot, added] = masterClipSlot.try_emplace(*masterClip, masterClipClipRefs.size());
                if (added)
                    masterClipClipRefs.emplace_back(*masterClip, std::vector<Id>{});
                masterClipClipRefs[slot->second].second.push_back(*ref);
            }
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

    QHash<QString, QSet<QString>> chain;
    for (const auto& [master, clipIDs] : masterClipClipRefs) {
        QSet<QString> paths;
        for (Id c : clipIDs) {
            const auto sources = clipSourceRefs.find(c);
            if (sources == clipSourceRefs.end())
                continue;
            for (Id source : sources->second) {
                const auto media = mediaSourceMediaRef.find(source);
                if (media == mediaSourceMediaRef.end())
                    continue;
                const auto found = mediaPathsByMediaUID.find(media->second);
                if (found != mediaPathsByMediaUID.end())
                    paths.unite(found->second);
            }
        }
        if (!paths.isEmpty())
            chain.insert(toQString(master), paths);
    }
    return chain;
}

} // namespace tarnwick::prproj
