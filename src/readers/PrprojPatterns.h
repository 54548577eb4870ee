#pragma once

#include <optional>
#include <string_view>

// The reader's fixed expressions, matched by hand. Each is an optional alternation, a literal, then
// runs of ASCII digits or of non-quote characters and literals; the result is the capture of the
// leftmost match, as a view into the searched text.
namespace tarnwick::prproj {

enum class Pattern {
    mediaStart,          // <Media ObjectUID="([^"]+)"
    masterClipStart,     // <MasterClip ObjectUID="([^"]+)"
    subClipRef,          // <SubClip ObjectRef="(\d+)"/>
    sequenceStart,       // <Sequence ObjectUID="([^"]+)"
    nestedSequenceRef,   // <Sequence ObjectURef="([^"]+)"/>
    trackGroupRef,       // <Second ObjectRef="(\d+)"/>
    trackGroupStart,     // <(?:Video|Audio|Data)TrackGroup ObjectID="(\d+)"
    trackRef,            // <Track Index="\d+" ObjectURef="([^"]+)"/>
    clipTrackStart,      // <(?:Video|Audio)ClipTrack ObjectUID="([^"]+)"
    trackItemRef,        // <TrackItem Index="\d+" ObjectRef="(\d+)"/>
    trackItemStart,      // <(?:Video|Audio)ClipTrackItem ObjectID="(\d+)"
    subClipStart,        // <SubClip ObjectID="(\d+)"
    masterClipRef,       // <MasterClip ObjectURef="([^"]+)"
    clipRef,             // <Clip Index="\d+" ObjectRef="(\d+)"
    clipStart,           // <(?:Video|Audio)Clip ObjectID="(\d+)"
    sourceRef,           // <Source ObjectRef="(\d+)"
    mediaSourceStart,    // <(?:Video|Audio)MediaSource ObjectID="(\d+)"
    mediaRef,            // <Media ObjectURef="([^"]+)"
    sequenceSourceStart, // <(?:Video|Audio)SequenceSource ObjectID="(\d+)"
    proxyMediaRef,       // <ProxyMedia ObjectURef="([^"]+)"
};

struct PatternMatch {
    std::string_view capture;
    std::size_t end = 0; // offset just past the match
};

// Leftmost match starting at or after `from` whose literal part begins before `anchorLimit`.
std::optional<PatternMatch> findPattern(Pattern p, std::string_view text, std::size_t from = 0,
                                        std::size_t anchorLimit = std::string_view::npos);

inline std::optional<std::string_view> firstCapture(Pattern p, std::string_view line) {
    if (auto m = findPattern(p, line))
        return m->capture;
    return std::nullopt;
}

// The regular-expression text of each pattern (for the reference reader and for messages).
std::string_view patternExpression(Pattern p);

} // namespace tarnwick::prproj
