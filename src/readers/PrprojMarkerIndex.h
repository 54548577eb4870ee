#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// One pass over a project's XML that splits it into lines and records, for every line, which of the
// reader's plain markers it contains. Each scanner then replays only the lines carrying its markers.
namespace tarnwick::prproj {

enum Marker : int {
    mediaUID,            // <Media ObjectUID=
    mediaTitle,          // <Title>
    relativePath,        // <RelativePath>
    actualPath,          // <ActualMediaFilePath>
    filePath,            // <FilePath>
    mediaEnd,            // </Media>
    mediaBlank,          // "<Media " (with the blank)
    masterClipUID,       // <MasterClip ObjectUID=
    nameStart,           // <Name>
    masterClipEnd,       // </MasterClip>
    sequenceUID,         // <Sequence ObjectUID=
    sequenceURef,        // <Sequence ObjectURef=
    videoItem,           // <VideoClipTrackItem
    audioItem,           // <AudioClipTrackItem
    videoItemEnd,        // </VideoClipTrackItem>
    audioItemEnd,        // </AudioClipTrackItem>
    subClipRef,          // <SubClip ObjectRef=
    trackGroups,         // <TrackGroups
    trackGroupsEnd,      // </TrackGroups>
    secondRef,           // <Second ObjectRef=
    sequenceEnd,         // </Sequence>
    trackGroupClose,     // TrackGroup>
    trackGroupID,        // TrackGroup ObjectID=
    trackIndex,          // <Track Index=
    clipTrackClose,      // ClipTrack>
    clipTrackUID,        // ClipTrack ObjectUID=
    trackItemIndex,      // <TrackItem Index=
    subClipID,           // <SubClip ObjectID=
    masterClipURef,      // <MasterClip ObjectURef=
    subClipEnd,          // </SubClip>
    clipIndex,           // <Clip Index=
    clipID,              // Clip ObjectID=
    sourceRef,           // <Source ObjectRef=
    videoClipEnd,        // </VideoClip>
    audioClipEnd,        // </AudioClip>
    mediaSourceID,       // MediaSource ObjectID=
    mediaURef,           // <Media ObjectURef=
    videoMediaSourceEnd, // </VideoMediaSource>
    audioMediaSourceEnd, // </AudioMediaSource>
    infinite,            // <Infinite>
    sequenceSourceID,    // SequenceSource ObjectID=
    markerCount
};

using MarkerMask = std::uint64_t;
static_assert(markerCount <= 64);

constexpr MarkerMask bit(Marker m) {
    return MarkerMask(1) << m;
}
template <typename... M> constexpr MarkerMask bits(M... m) {
    return (bit(m) | ...);
}

std::string_view markerText(Marker m);

struct MarkedLine {
    std::size_t index = 0; // line number, from 0
    std::string_view text; // without its separator
    MarkerMask mask = 0;

    bool has(Marker m) const { return (mask & bit(m)) != 0; }
};

struct MarkerIndex {
    std::size_t lineCount = 0;     // lines as split at every newline character
    std::size_t crlfPairs = 0;     // CR directly followed by LF
    std::vector<MarkedLine> lines; // only lines with at least one marker, in order
    MarkerMask markersInText = 0;  // union of every line's mask
    // The marked lines would take more memory than three quarters of the text (a text of nothing but short
    // marked lines, which no project holds): `lines` is then empty and must not be used.
    bool tooDense = false;
    // The marked lines' text when it was copied out of a text handed back while it was read.
    std::vector<std::unique_ptr<char[]>> ownedText;
};

// Newline characters: U+000A to U+000D, U+0085, U+2028, U+2029; a CR LF pair leaves an empty line.
// The text must be valid UTF-8. Large texts are split into up to `threads` pieces read at once.
// The index of scanText (PrprojTextScan.h), which reads the rest of what the reader needs beside it.
inline constexpr std::size_t kParallelThreshold = std::size_t(16) << 20;
MarkerIndex indexMarkers(std::string_view text, int threads = 1);

} // namespace tarnwick::prproj
