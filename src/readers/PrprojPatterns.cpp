#include "readers/PrprojPatterns.h"

#include "readers/PrprojIdTable.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace tarnwick::prproj {

namespace {

enum class Tok { digits, digitsCapture, nonQuoteCapture, literal };

struct Step {
    Tok kind;
    std::string_view literal = {};
};

struct Shape {
    std::string_view expression;
    std::vector<std::string_view> alternatives; // one of them directly before the anchor
    std::string_view anchor;
    std::vector<Step> tail;
};

const std::vector<Shape>& shapes() {
    static const std::vector<Shape> all = [] {
        const std::vector<std::string_view> va = {"<Video", "<Audio"};
        const Step quote{Tok::literal, "\""};
        const Step selfClose{Tok::literal, "\"/>"};
        const Step digitsCap{Tok::digitsCapture};
        const Step textCap{Tok::nonQuoteCapture};
        std::vector<Shape> v = {
            {R"re(<Media ObjectUID="([^"]+)")re", {}, "<Media ObjectUID=\"", {textCap, quote}},
            {R"re(<MasterClip ObjectUID="([^"]+)")re", {}, "<MasterClip ObjectUID=\"", {textCap, quote}},
            {R"re(<SubClip ObjectRef="(\d+)"/>)re", {}, "<SubClip ObjectRef=\"", {digitsCap, selfClose}},
            {R"re(<Sequence ObjectUID="([^"]+)")re", {}, "<Sequence ObjectUID=\"", {textCap, quote}},
            {R"re(<Sequence ObjectURef="([^"]+)"/>)re", {}, "<Sequence ObjectURef=\"", {textCap, selfClose}},
            {R"re(<Second ObjectRef="(\d+)"/>)re", {}, "<Second ObjectRef=\"", {digitsCap, selfClose}},
            {R"re(<(?:Video|Audio|Data)TrackGroup ObjectID="(\d+)")re",
             {"<Video", "<Audio", "<Data"},
             "TrackGroup ObjectID=\"",
             {digitsCap, quote}},
            {R"re(<Track Index="\d+" ObjectURef="([^"]+)"/>)re",
             {},
             "<Track Index=\"",
             {Step{Tok::digits}, Step{Tok::literal, "\" ObjectURef=\""}, textCap, selfClose}},
            {R"re(<(?:Video|Audio)ClipTrack ObjectUID="([^"]+)")re",
             va,
             "ClipTrack ObjectUID=\"",
             {textCap, quote}},
            {R"re(<TrackItem Index="\d+" ObjectRef="(\d+)"/>)re",
             {},
             "<TrackItem Index=\"",
             {Step{Tok::digits}, Step{Tok::literal, "\" ObjectRef=\""}, digitsCap, selfClose}},
            {R"re(<(?:Video|Audio)ClipTrackItem ObjectID="(\d+)")re",
             va,
             "ClipTrackItem ObjectID=\"",
             {digitsCap, quote}},
            {R"re(<SubClip ObjectID="(\d+)")re", {}, "<SubClip ObjectID=\"", {digitsCap, quote}},
            {R"re(<MasterClip ObjectURef="([^"]+)")re", {}, "<MasterClip ObjectURef=\"", {textCap, quote}},
            {R"re(<Clip Index="\d+" ObjectRef="(\d+)")re",
             {},
             "<Clip Index=\"",
             {Step{Tok::digits}, Step{Tok::literal, "\" ObjectRef=\""}, digitsCap, quote}},
            {R"re(<(?:Video|Audio)Clip ObjectID="(\d+)")re", va, "Clip ObjectID=\"", {digitsCap, quote}},
            {R"re(<Source ObjectRef="(\d+)")re", {}, "<Source ObjectRef=\"", {digitsCap, quote}},
            {R"re(<(?:Video|Audio)MediaSource ObjectID="(\d+)")re",
             va,
             "MediaSource ObjectID=\"",
             {digitsCap, quote}},
            {R"re(<Media ObjectURef="([^"]+)")re", {}, "<Media ObjectURef=\"", {textCap, quote}},
            {R"re(<(?:Video|Audio)SequenceSource ObjectID="(\d+)")re",
             va,
             "SequenceSource ObjectID=\"",
             {digitsCap, quote}},
            {R"re(<ProxyMedia ObjectURef="([^"]+)")re", {}, "<ProxyMedia ObjectURef=\"", {textCap, quote}},
        };
        return v;
    }();
    return all;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Matches the tail at `pos`; every step is deterministic because a run is always followed by a quote.
std::optional<PatternMatch> matchTail(const Shape& s, std::string_view text, std::size_t pos) {
    std::string_view capture;
    for (const Step& step : s.tail) {
        switch (step.kind) {
        case Tok::digits:
        case Tok::digitsCapture: {
            const std::size_t start = pos;
            while (pos < text.size() && isDigit(text[pos]))
                ++pos;
            if (pos == start)
                return std::nullopt;
            if (step.kind == Tok::digitsCapture)
                capture = text.substr(start, pos - start);
            break;
        }
        case Tok::nonQuoteCapture: {
            const std::size_t quote = text.find('"', pos);
            if (quote == std::string_view::npos || quote == pos)
                return std::nullopt;
            capture = text.substr(pos, quote - pos);
            pos = quote;
            break;
        }
        case Tok::literal:
            if (text.substr(pos, step.literal.size()) != step.literal)
                return std::nullopt;
            pos += step.literal.size();
            break;
        }
    }
    return PatternMatch{capture, pos};
}

// The first place of `anchor` in `hay` at or after `from` (as std::string_view::find), its first
// byte found by memchr and the rest compared inline: anchors are short and most lines hold one.
std::size_t findAnchor(std::string_view hay, std::string_view anchor, std::size_t from) {
    const std::size_t n = anchor.size();
    while (from + n <= hay.size()) {
        const void* first = std::memchr(hay.data() + from, anchor[0], hay.size() - n + 1 - from);
        if (!first)
            return std::string_view::npos;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(first) - hay.data());
        if (sameBytes(hay.data() + at + 1, anchor.data() + 1, n - 1))
            return at;
        from = at + 1;
    }
    return std::string_view::npos;
}

} // namespace

std::optional<PatternMatch> findPattern(Pattern p, std::string_view text, std::size_t from,
                                        std::size_t anchorLimit) {
    const Shape& s = shapes()[static_cast<std::size_t>(p)];
    // Anchors are looked for only where they may begin; the tail may run past the limit.
    const std::string_view hay = anchorLimit >= text.size()
                                     ? text
                                     : text.substr(0, std::min(text.size(), anchorLimit + s.anchor.size()));
    std::size_t at = from;
    while (true) {
        const std::size_t hit = findAnchor(hay, s.anchor, at);
        if (hit == std::string_view::npos || hit >= anchorLimit)
            return std::nullopt;
        at = hit + 1;
        if (!s.alternatives.empty()) {
            bool preceded = false;
            for (std::string_view alt : s.alternatives) {
                if (hit >= from + alt.size() && text.substr(hit - alt.size(), alt.size()) == alt) {
                    preceded = true;
                    break;
                }
            }
            if (!preceded)
                continue;
        }
        if (auto m = matchTail(s, text, hit + s.anchor.size()))
            return m;
    }
}

std::string_view patternExpression(Pattern p) {
    return shapes()[static_cast<std::size_t>(p)].expression;
}

} // namespace tarnwick::prproj
