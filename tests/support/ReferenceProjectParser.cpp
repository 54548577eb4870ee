#include "support/ReferenceProjectParser.h"

#include "model/ProjectSequence.h"
#include "platform/Graphemes.h"
#include "platform/PathText.h"
#include "support/ReferenceProjectText.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <optional>

namespace tarnwick::testing {

using namespace reference;

namespace {

struct MediaTables {
    QHash<QString, QString> spellingByKey; // every path kept, by its canonical form
    QHash<QString, QStringList> pathsByTitle;

    QString accept(const QString& path) {
        const QString key = canonical(path);
        const auto it = spellingByKey.constFind(key);
        return it != spellingByKey.constEnd() ? *it : *spellingByKey.insert(key, path);
    }
    QSet<QString> allPaths() const { return {spellingByKey.cbegin(), spellingByKey.cend()}; }
};

// Each master clip a timeline uses: how often, and on which timelines.
struct MasterUse {
    qint64 count = 0;
    SequenceUsageAttribution timelines;
};

struct ClipMasters {
    QHash<QString, MasterUse> used;
    QSet<QString> audioOnly; // used from audio tracks only
    qint64 unmatched = 0;    // timeline clips whose master clip is nowhere
};

std::optional<QString> capture(const QRegularExpression& re, const QString& line) {
    const QRegularExpressionMatch m = re.match(line);
    if (!m.hasMatch() || m.capturedStart(1) < 0)
        return std::nullopt;
    return m.captured(1);
}

bool has(const QString& line, const char* marker) {
    return line.contains(QLatin1StringView(marker));
}

struct ReferenceMedia {
    MediaTables tables;
    QHash<QString, QSet<QString>> pathsByMediaUID;
    QSet<QString> generatedUIDs; // blocks naming no path, with a number for a path or of infinite length
    QSet<QString> heldBack;      // previews and caches: media only when a timeline uses them
};

// Whether a file path text may name a file (anything with a separator, colon or dot may).
bool mayNameFile(const QString& text) {
    return looksLikePath(text) || text.contains(u'/') || text.contains(u'\\') || text.contains(u':') ||
           text.contains(u'.');
}

void addTo(QHash<QString, QStringList>& map, const QString& key, const QString& path) {
    if (!map[key].contains(path))
        map[key].append(path);
}

// A path text as a media path in forward-slash form: file URLs give their path; text that cannot
// be a file path, or holds a NUL, gives none.
std::optional<QString> mediaPathOf(const QString& decoded) {
    const QString text = fileURLPath(decoded).value_or(decoded);
    if (!looksLikePath(text) || path::containsNul(text))
        return std::nullopt;
    return forwardSlashed(text);
}

ReferenceMedia extractMedia(const QStringList& lines) {
    const QRegularExpression mediaRe(QStringLiteral(R"re(<Media ObjectUID="([^"]+)")re"));
    ReferenceMedia out;
    std::optional<QString> id, title, plain;
    bool namesPath = false, token = false, infinite = false, actual = false;
    auto classify = [&](const QString& text) {
        if (text.trimmed().isEmpty())
            return;
        (mayNameFile(text) ? namesPath : token) = true;
    };
    // One path of the current block under its identifier; a cache file under nothing else.
    auto addPath = [&](const QString& p, const std::optional<QString>& key) {
        if (isEditorsCache(p)) {
            out.heldBack.insert(p);
            if (id)
                out.pathsByMediaUID[*id].insert(p);
            return;
        }
        const QString kept = out.tables.accept(p);
        if (key)
            addTo(out.tables.pathsByTitle, *key, kept);
        if (id)
            out.pathsByMediaUID[*id].insert(kept);
    };
    auto addBlockPath = [&](const QString& decoded) {
        if (auto p = mediaPathOf(decoded))
            addPath(*p, title ? std::optional<QString>(titleKey(*title)) : std::nullopt);
    };
    auto settlePlain = [&] {
        if (plain && !actual)
            addBlockPath(*plain);
        plain.reset();
    };
    for (const QString& line : lines) {
        if (has(line, "<Media ObjectUID=")) {
            settlePlain();
            // nothing read outside a block speaks for it
            namesPath = token = infinite = actual = false;
            if (auto c = capture(mediaRe, line))
                id = c;
        }
        if (auto t = between(line, "<Title>", "</Title>", false))
            title = t;
        if (auto a = between(line, "<ActualMediaFilePath>", "</ActualMediaFilePath>", false)) {
            const QString decoded = decodeEntities(*a);
            classify(decoded);
            if (!decoded.trimmed().isEmpty())
                actual = true;
            addBlockPath(decoded);
        }
        if (auto f = between(line, "<FilePath>", "</FilePath>", true);
            f && !f->isEmpty() && !f->startsWith(u'{')) {
            classify(decodeEntities(*f));
            if (id && !plain)
                plain = decodeEntities(*f);
        }
        if (has(line, "<Infinite>true</Infinite>"))
            infinite = true;
        if (auto f = between(line, "<FilePath>", "</FilePath>", true); f && f->startsWith(u'{')) {
            namesPath = true;
            if (auto v = jsonValue(*f, "mFilePath")) {
                if (auto p = mediaPathOf(decodeEntities(*v))) {
                    std::optional<QString> t = jsonValue(*f, "displayName");
                    if (!t)
                        t = title;
                    addPath(*p, t && !t->isEmpty() ? std::optional<QString>(titleKey(*t)) : std::nullopt);
                }
            }
        }
        if (has(line, "</Media>")) {
            settlePlain();
            if (id && !namesPath && (token || infinite))
                out.generatedUIDs.insert(*id);
            id = title = std::nullopt;
            namesPath = token = infinite = actual = false;
        }
    }
    settlePlain();
    for (auto it = out.pathsByMediaUID.constBegin(); it != out.pathsByMediaUID.constEnd(); ++it) {
        if (!it.value().isEmpty())
            out.generatedUIDs.remove(it.key());
    }
    // Another project as a clip's media: no media file of this one, and nothing to match.
    const auto isProject = [](const QString& p) {
        return p.endsWith(QStringLiteral(".prproj"), Qt::CaseInsensitive);
    };
    out.tables.spellingByKey.removeIf([&](const auto& e) { return isProject(e.value()); });
    for (auto it = out.tables.pathsByTitle.begin(); it != out.tables.pathsByTitle.end();) {
        it->removeIf(isProject);
        it = it->isEmpty() ? out.tables.pathsByTitle.erase(it) : std::next(it);
    }
    for (auto it = out.pathsByMediaUID.begin(); it != out.pathsByMediaUID.end(); ++it) {
        if (it->removeIf(isProject) != 0 && it->isEmpty())
            out.generatedUIDs.insert(it.key());
    }
    return out;
}

QHash<QString, QString> masterClipMap(const QStringList& lines) {
    const QRegularExpression re(QStringLiteral(R"re(<MasterClip ObjectUID="([^"]+)")re"));
    QHash<QString, QString> map;
    std::optional<QString> current;
    for (const QString& line : lines) {
        if (has(line, "<MasterClip ObjectUID=")) {
            if (auto c = capture(re, line))
                current = c;
        }
        if (current) {
            if (auto n = between(line, "<Name>", "</Name>", false)) {
                map.insert(*current, *n);
                current.reset();
            }
        }
        if (has(line, "</MasterClip>"))
            current.reset();
    }
    return map;
}

struct RefTimeline {
    QHash<QString, qint64> video, audio;
    QHash<QString, QHash<QString, qint64>> occurrences;
    QHash<QString, QString> timelines; // every timeline's name as read, by its identifier
};

// Long on purpose: the scan is kept as one loop, step for step in the order the reader defines it.
RefTimeline timelineClips(const QStringList& lines, const QSet<QString>& sequenceIDs) {
    const QRegularExpression subRef(QStringLiteral(R"re(<SubClip ObjectRef="(\d+)"/>)re"));
    const QRegularExpression seqStart(QStringLiteral(R"re(<Sequence ObjectUID="([^"]+)")re"));
    const QRegularExpression groupRef(QStringLiteral(R"re(<Second ObjectRef="(\d+)"/>)re"));
    const QRegularExpression groupStart(
        QStringLiteral(R"re(<(?:Video|Audio|Data)TrackGroup ObjectID="(\d+)")re"));
    const QRegularExpression trackRef(QStringLiteral(R"re(<Track Index="\d+" ObjectURef="([^"]+)"/>)re"));
    const QRegularExpression trackStart(
        QStringLiteral(R"re(<(?:Video|Audio)ClipTrack ObjectUID="([^"]+)")re"));
    const QRegularExpression itemRef(QStringLiteral(R"re(<TrackItem Index="\d+" ObjectRef="(\d+)"/>)re"));
    const QRegularExpression itemStart(
        QStringLiteral(R"re(<(?:Video|Audio)ClipTrackItem ObjectID="(\d+)")re"));
    RefTimeline out;
    QHash<QString, QString> itemSub, names;
    QHash<QString, QStringList> seqGroups, groupTracks, trackItems;
    std::optional<QString> item, timeline, group, track;
    bool video = false, audio = false, inGroups = false;
    for (const QString& line : lines) {
        if (has(line, "<VideoClipTrackItem")) {
            item = capture(itemStart, line);
            video = true;
            audio = false;
        } else if (has(line, "<AudioClipTrackItem")) {
            item = capture(itemStart, line);
            video = false;
            audio = true;
        } else if (has(line, "</VideoClipTrackItem>")) {
            video = false;
            item.reset();
        } else if (has(line, "</AudioClipTrackItem>")) {
            audio = false;
            item.reset();
        }
        if (has(line, "<SubClip ObjectRef=")) {
            if (auto s = capture(subRef, line)) {
                if (video)
                    out.video[*s] += 1;
                else if (audio)
                    out.audio[*s] += 1;
                if (item)
                    itemSub.insert(*item, *s);
            }
        }
        if (has(line, "<Sequence ObjectUID=")) {
            if (auto s = capture(seqStart, line)) {
                timeline = s;
                inGroups = false;
            }
        }
        if (timeline) {
            if (has(line, "<TrackGroups"))
                inGroups = true;
            if (has(line, "</TrackGroups>")) {
                inGroups = false;
            } else if (inGroups && has(line, "<Second ObjectRef=")) {
                if (auto g = capture(groupRef, line))
                    seqGroups[*timeline].append(*g);
            }
            if (auto n = between(line, "<Name>", "</Name>", false))
                names.insert(*timeline, *n);
            if (has(line, "</Sequence>")) {
                inGroups = false;
                timeline.reset();
            }
        }
        if (has(line, "TrackGroup>"))
            group.reset();
        else if (has(line, "TrackGroup ObjectID="))
            group = capture(groupStart, line);
        if (group && has(line, "<Track Index=")) {
            if (auto t = capture(trackRef, line))
                groupTracks[*group].append(*t);
        }
        if (has(line, "ClipTrack>")) {
            track.reset();
            continue;
        }
        if (has(line, "ClipTrack ObjectUID=")) {
            track = capture(trackStart, line);
            if (!track)
                continue;
        }
        if (track && has(line, "<TrackItem Index=")) {
            if (auto it = capture(itemRef, line))
                trackItems[*track].append(*it);
        }
    }
    for (auto s = seqGroups.constBegin(); s != seqGroups.constEnd(); ++s)
        for (const QString& g : s.value())
            for (const QString& t : groupTracks.value(g))
                for (const QString& i : trackItems.value(t))
                    if (itemSub.contains(i))
                        out.occurrences[itemSub.value(i)][s.key()] += 1;
    for (const QString& id : sequenceIDs)
        out.timelines.insert(id, names.value(id));
    return out;
}

ClipMasters mapSubClips(const RefTimeline& t, const QStringList& lines) {
    ClipMasters out;
    QSet<QString> videoSubs(t.video.keyBegin(), t.video.keyEnd());
    QSet<QString> audioSubs(t.audio.keyBegin(), t.audio.keyEnd());
    const QSet<QString> timelineSubs = videoSubs | audioSubs;
    if (timelineSubs.isEmpty())
        return out;
    const QRegularExpression subStart(QStringLiteral(R"re(<SubClip ObjectID="(\d+)")re"));
    const QRegularExpression masterRef(QStringLiteral(R"re(<MasterClip ObjectURef="([^"]+)")re"));
    QSet<QString> videoMasters, audioMasters, matched;
    std::optional<QString> current;
    bool fromVideo = false, fromAudio = false;
    for (const QString& line : lines) {
        if (has(line, "<SubClip ObjectID=")) {
            if (auto id = capture(subStart, line)) {
                fromVideo = videoSubs.contains(*id);
                fromAudio = audioSubs.contains(*id);
                current = fromVideo || fromAudio ? id : std::nullopt;
            }
        }
        if ((fromVideo || fromAudio) && has(line, "<MasterClip ObjectURef=")) {
            if (auto m = capture(masterRef, line)) {
                const QString s = *current;
                if (fromVideo)
                    videoMasters.insert(*m);
                if (fromAudio)
                    audioMasters.insert(*m);
                qint64 total = t.video.value(s, 0) + t.audio.value(s, 0);
                if (total < 1)
                    total = 1;
                out.used[*m].count += total;
                matched.insert(s);
                const QHash<QString, qint64> perTimeline = t.occurrences.value(s);
                qint64 attributed = 0;
                for (qint64 c : perTimeline)
                    attributed += c;
                out.used[*m].timelines.merge(perTimeline, std::max<qint64>(total - attributed, 0));
            }
        }
        if (has(line, "</SubClip>")) {
            current.reset();
            fromVideo = fromAudio = false;
        }
    }
    out.audioOnly = audioMasters - videoMasters;
    out.unmatched = (timelineSubs - matched).size();
    return out;
}

// `noFileMasters` receives the master clips without a file to match: those whose media are all
// generated, and timelines' own master clips (sequence sources, no media).
// Each Media block's title and file names, entities decoded, in line order, each once.
QHash<QString, QStringList> mediaNames(const QStringList& lines) {
    const QRegularExpression mediaRe(QStringLiteral(R"re(<Media ObjectUID="([^"]+)")re"));
    QHash<QString, QStringList> names;
    std::optional<QString> id;
    auto add = [&](const QString& name) {
        if (!name.isEmpty() && !names[*id].contains(name))
            names[*id].append(name);
    };
    auto fileName = [](const QString& path) {
        return path.mid(std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1).trimmed();
    };
    for (const QString& line : lines) {
        if (has(line, "<Media ObjectUID="))
            id = capture(mediaRe, line);
        if (id && has(line, "<Title>")) {
            if (auto t = between(line, "<Title>", "</Title>", false))
                add(decodeEntities(*t).trimmed());
        }
        if (id && has(line, "<ActualMediaFilePath>")) {
            if (auto a = between(line, "<ActualMediaFilePath>", "</ActualMediaFilePath>", false))
                add(fileName(decodeEntities(*a)));
        }
        if (id && has(line, "<FilePath>")) {
            auto f = between(line, "<FilePath>", "</FilePath>", true);
            if (f && f->startsWith(u'{'))
                f = jsonValue(*f, "mFilePath");
            if (f && !f->isEmpty())
                add(fileName(decodeEntities(*f)));
        }
        if (has(line, "</Media>"))
            id.reset();
    }
    return names;
}

struct RefChain {
    QHash<QString, QSet<QString>> paths;
    QHash<QString, QStringList> mediaRefs; // master clip -> the Media identifiers it leads to
    QSet<QString> noFileMasters;
    QHash<QString, QString> sequenceOfMaster; // timelines' own master clips -> the timeline shown
};

RefChain mediaChain(const QStringList& lines, const QHash<QString, QSet<QString>>& byUID,
                    const QSet<QString>& generatedUIDs) {
    const QRegularExpression masterStart(QStringLiteral(R"re(<MasterClip ObjectUID="([^"]+)")re"));
    const QRegularExpression clipRef(QStringLiteral(R"re(<Clip Index="\d+" ObjectRef="(\d+)")re"));
    const QRegularExpression clipStart(QStringLiteral(R"re(<(?:Video|Audio)Clip ObjectID="(\d+)")re"));
    const QRegularExpression sourceRef(QStringLiteral(R"re(<Source ObjectRef="(\d+)")re"));
    const QRegularExpression sourceStart(
        QStringLiteral(R"re(<(?:Video|Audio)MediaSource ObjectID="(\d+)")re"));
    const QRegularExpression mediaRef(QStringLiteral(R"re(<Media ObjectURef="([^"]+)")re"));
    const QRegularExpression sequenceSourceStart(
        QStringLiteral(R"re(<(?:Video|Audio)SequenceSource ObjectID="(\d+)")re"));
    const QRegularExpression proxyRef(QStringLiteral(R"re(<ProxyMedia ObjectURef="([^"]+)")re"));
    const QRegularExpression sequenceRef(QStringLiteral(R"re(<Sequence ObjectURef="([^"]+)"/>)re"));
    QHash<QString, QStringList> masterClips, clipSources;
    QHash<QString, QString> sequenceSources; // source -> the timeline it shows, empty when unnamed
    QHash<QString, QString> sourceMedia, sourceProxy;
    std::optional<QString> current;
    for (const QString& line : lines) { // pass 1: master clips
        if (has(line, "<MasterClip ObjectUID=")) {
            if (auto c = capture(masterStart, line))
                current = c;
        }
        if (current && has(line, "<Clip Index=")) {
            if (auto c = capture(clipRef, line))
                masterClips[*current].append(*c);
        }
        if (has(line, "</MasterClip>"))
            current.reset();
    }
    current.reset();
    for (const QString& line : lines) { // pass 2: clips
        if (has(line, "Clip ObjectID=")) {
            if (auto c = capture(clipStart, line))
                current = c;
        }
        if (current && has(line, "<Source ObjectRef=")) {
            if (auto c = capture(sourceRef, line))
                clipSources[*current].append(*c);
        }
        if (has(line, "</VideoClip>") || has(line, "</AudioClip>"))
            current.reset();
    }
    current.reset();
    for (const QString& line : lines) { // pass 3: media sources
        if (has(line, "MediaSource ObjectID=")) {
            if (auto c = capture(sourceStart, line))
                current = c;
        }
        if (current && has(line, "<Media ObjectURef=")) {
            if (auto c = capture(mediaRef, line))
                sourceMedia.insert(*current, *c);
        }
        if (current && has(line, "<ProxyMedia ObjectURef=")) {
            if (auto c = capture(proxyRef, line))
                sourceProxy.insert(*current, *c);
        }
        if (has(line, "</VideoMediaSource>") || has(line, "</AudioMediaSource>"))
            current.reset();
    }
    current.reset();
    for (const QString& line : lines) { // pass 4: sequence sources and the timeline each shows
        if (has(line, "SequenceSource ObjectID=")) {
            current = capture(sequenceSourceStart, line);
            if (current)
                sequenceSources.insert(*current, QString());
        } else if (has(line, "MediaSource ObjectID=") || has(line, "Clip ObjectID=") ||
                   has(line, "<MasterClip ObjectUID=") || has(line, "<SubClip ObjectID=") ||
                   has(line, "<Media ObjectUID=")) {
            current.reset();
        }
        if (current && has(line, "<Sequence ObjectURef=")) {
            if (auto c = capture(sequenceRef, line)) {
                sequenceSources.insert(*current, *c);
                current.reset();
            }
        }
    }
    RefChain chain;
    for (auto m = masterClips.constBegin(); m != masterClips.constEnd(); ++m) {
        QSet<QString> paths;
        qsizetype mediaRefs = 0;
        std::optional<QString> sequence;
        bool allGenerated = true;
        for (const QString& c : m.value())
            for (const QString& s : clipSources.value(c))
                if (sourceMedia.contains(s)) {
                    chain.mediaRefs[m.key()].append(sourceMedia.value(s));
                    paths.unite(byUID.value(sourceMedia.value(s)));
                    if (sourceProxy.contains(s))
                        paths.unite(byUID.value(sourceProxy.value(s)));
                    ++mediaRefs;
                    allGenerated = allGenerated && generatedUIDs.contains(sourceMedia.value(s));
                } else if (sequenceSources.contains(s) && (!sequence || sequence->isEmpty())) {
                    sequence = sequenceSources.value(s);
                }
        if (!paths.isEmpty())
            chain.paths.insert(m.key(), paths);
        if ((mediaRefs > 0 && allGenerated) || (mediaRefs == 0 && sequence))
            chain.noFileMasters.insert(m.key());
        if (mediaRefs == 0 && sequence)
            chain.sequenceOfMaster.insert(m.key(), *sequence);
    }
    return chain;
}

int nestedCount(const RefChain& chain, const QHash<QString, MasterUse>& usedMasters) {
    QSet<QString> nested;
    for (const QString& m : usedMasters.keys())
        if (chain.sequenceOfMaster.contains(m))
            nested.insert(chain.sequenceOfMaster.value(m).isEmpty() ? QStringLiteral("master:") + m
                                                                    : chain.sequenceOfMaster.value(m));
    return static_cast<int>(nested.size());
}

struct RefNameTables {
    QHash<QString, QSet<QString>> byTitle;
    QHash<QString, QSet<QString>> byName;
    QStringList titleKeys; // scans go through the keys in sorted order
    QStringList nameKeys;
};

RefNameTables nameTables(const MediaTables& media) {
    RefNameTables t;
    for (auto it = media.pathsByTitle.constBegin(); it != media.pathsByTitle.constEnd(); ++it) {
        const QSet<QString> paths(it.value().begin(), it.value().end());
        t.byTitle.insert(it.key(), paths);
        t.byName[path::deletingPathExtension(path::lastPathComponent(it.key()))].unite(paths);
        const QString folder = path::deletingLastPathComponent(it.key());
        if (!folder.isEmpty())
            t.byName[folder].unite(paths);
    }
    t.titleKeys = t.byTitle.keys();
    std::sort(t.titleKeys.begin(), t.titleKeys.end());
    t.nameKeys = t.byName.keys();
    std::sort(t.nameKeys.begin(), t.nameKeys.end());
    return t;
}

QString quotesAsUnderscores(QString key) {
    for (const char16_t q : {u'\'', u'\u2018', u'\u2019', u'\u201C', u'\u201D'})
        key.replace(QChar(q), u'_');
    return key;
}

using Found = std::optional<QSet<QString>>;

Found lookUp(const QHash<QString, QSet<QString>>& map, const QString& key) {
    const QSet<QString> v = map.value(key);
    return v.isEmpty() ? Found() : Found(v);
}

Found scanFor(const QStringList& keys, const QHash<QString, QSet<QString>>& map,
              const std::function<bool(const QString&)>& test) {
    for (const QString& k : keys) {
        if (test(k)) {
            if (Found v = lookUp(map, k))
                return v;
        }
    }
    return std::nullopt;
}

// The name rules one after another, each lookup counting only when it finds paths.
Found byNameRules(const QString& name, const RefNameTables& t) {
    const QString key = titleKey(name);
    if (Found v = lookUp(t.byTitle, key))
        return v;
    const QString normalized = quotesAsUnderscores(key);
    if (normalized != key) {
        if (Found v = lookUp(t.byTitle, normalized))
            return v;
        if (Found v = scanFor(t.titleKeys, t.byTitle,
                              [&](const QString& k) { return quotesAsUnderscores(k) == normalized; }))
            return v;
    }
    const QString base = path::deletingPathExtension(key);
    if (base != key) {
        if (Found v = lookUp(t.byName, base))
            return v;
    }
    if (Found v = lookUp(t.byName, key))
        return v;
    if (const qsizetype at = key.indexOf(QLatin1StringView("multicam")); at >= 0) {
        const QString prefix = key.left(at);
        if (!prefix.isEmpty()) {
            if (Found v = lookUp(t.byTitle, prefix))
                return v;
            if (Found v = lookUp(t.byName, path::deletingPathExtension(prefix)))
                return v;
        }
    }
    if (key.startsWith(QLatin1StringView("mc - "))) {
        if (Found v = lookUp(t.byName, key.mid(graphemes::prefix(key, 5).size())))
            return v;
    }
    if (Found v = scanFor(t.titleKeys, t.byTitle, [&](const QString& k) { return k.startsWith(key + u'/'); }))
        return v;
    if (graphemes::count(key) >= 21) {
        const QString first25 = graphemes::prefix(key, 25);
        if (Found v = scanFor(t.nameKeys, t.byName, [&](const QString& k) { return k.startsWith(first25); }))
            return v;
    }
    if (graphemes::count(base) >= 11) {
        if (Found v = scanFor(t.nameKeys, t.byName, [&](const QString& k) { return k.startsWith(base); }))
            return v;
    }
    return std::nullopt;
}

// A named master clip counts the paths of its name rules together with its reference chain.
Found matchClip(const QString& id, const QHash<QString, QString>& names, const RefNameTables& t,
                const QHash<QString, QSet<QString>>& chain) {
    if (!names.contains(id))
        return std::nullopt;
    QSet<QString> paths = byNameRules(names.value(id), t).value_or(QSet<QString>());
    paths.unite(chain.value(id));
    return paths.isEmpty() ? Found() : Found(paths);
}

struct RefUsageInputs {
    const MediaTables& media;
    const QHash<QString, QString>& names;
    qsizetype sequenceCount;
    qsizetype clipKeys; // distinct sub-clips on video tracks plus those on audio tracks
    const QHash<QString, QString>& timelines;
    const ClipMasters& masters;
    const QHash<QString, QSet<QString>>& chain;
    const QSet<QString>& noFileMasters;
    const QHash<QString, QStringList>& mediaRefs;
    const QHash<QString, QStringList>& mediaNames;
};

// Long on purpose: the determination's steps in their order, in one place.
void determineUsage(const RefUsageInputs& in, ReferenceReading& result) {
    const RefNameTables tables = nameTables(in.media);
    QHash<QString, QString> displayNames;
    for (auto s = in.timelines.constBegin(); s != in.timelines.constEnd(); ++s)
        displayNames.insert(s.key(), ProjectSequence{s.key(), s.value()}.displayName());
    QSet<QString> used;
    QHash<QString, int> counts;
    qint64 unresolved = 0;
    for (auto use = in.masters.used.cbegin(); use != in.masters.used.cend(); ++use) {
        const QString& id = use.key();
        const Found paths = matchClip(id, in.names, tables, in.chain);
        if (!paths) {
            if (!in.noFileMasters.contains(id)) {
                ++unresolved;
                const QString name = decodeEntities(in.names.value(id)).trimmed();
                if (in.names.contains(id) && !name.isEmpty())
                    result.unresolvedClipNames.append(name);
                for (const QString& media : in.mediaRefs.value(id))
                    result.unresolvedClipNames.append(in.mediaNames.value(media));
            }
            continue;
        }
        used.unite(*paths);
        const qint64 n = use->count;
        for (const QString& p : *paths) {
            counts[p] += static_cast<int>(n);
            const SequenceUsageAttribution& a = use->timelines;
            result.sequenceUsageByPath[p].merge(a.occurrencesBySequenceID, a.unattributedOccurrences);
            for (const QString& seq : a.occurrencesBySequenceID.keys())
                if (displayNames.contains(seq))
                    result.sequenceNamesByPath[p].insert(displayNames.value(seq));
        }
    }
    result.unresolvedClipNames.sort();
    result.unresolvedClipNames.removeDuplicates();
    if (unresolved >= 1)
        ++result.warningCount;
    if (in.masters.unmatched >= 1)
        ++result.warningCount;
    qint64 mixed = 0;
    for (const QString& p : used) {
        const qint64 usage = counts.contains(p) && counts.value(p) > 1 ? counts.value(p) : 1;
        SequenceUsageAttribution a = result.sequenceUsageByPath.value(p);
        const qint64 total = a.totalOccurrences() + a.unattributedOccurrences;
        if (total < usage)
            a.unattributedOccurrences += usage - total;
        else if (total > usage)
            a.unattributedOccurrences += 1;
        if (a.totalOccurrences() >= 1 && a.unattributedOccurrences >= 1)
            ++mixed;
        result.sequenceUsageByPath.insert(p, a);
    }
    if (mixed >= 1)
        ++result.warningCount;
    for (const QString& id : in.masters.audioOnly)
        if (const Found paths = matchClip(id, in.names, tables, in.chain))
            result.audioOnlyPaths.unite(*paths);
    const QSet<QString> all = in.media.allPaths();
    if (!all.isEmpty() && in.sequenceCount > 0 && in.clipKeys > 0 && used.isEmpty()) {
        ++result.warningCount;
        for (const QString& p : all) {
            if (!counts.contains(p))
                counts.insert(p, 1);
            if (!result.sequenceUsageByPath.contains(p))
                result.sequenceUsageByPath.insert(p, SequenceUsageAttribution{{}, 1});
        }
        used = all;
    }
    result.usedMediaPaths = used;
    result.usageCountByPath = counts;
}

} // namespace

ReferenceReading referenceReading(const QString& xml) {
    ReferenceReading result;
    const QStringList lines = splitLines(xml);
    const ReferenceMedia media = extractMedia(lines);
    if (media.tables.spellingByKey.isEmpty() && media.heldBack.isEmpty() &&
        xml.contains(QLatin1StringView("<Media ")))
        ++result.warningCount; // media elements, but no path read from them
    const QHash<QString, QString> names = masterClipMap(lines);
    QSet<QString> sequenceIDs;
    auto all = QRegularExpression(QStringLiteral(R"re(<Sequence ObjectUID="([^"]+)")re")).globalMatch(xml);
    while (all.hasNext())
        sequenceIDs.insert(all.next().captured(1));
    const RefTimeline clips = timelineClips(lines, sequenceIDs);
    const ClipMasters masters = mapSubClips(clips, lines);
    const RefChain chain = mediaChain(lines, media.pathsByMediaUID, media.generatedUIDs);
    // Nested: the timelines whose own master clips sit on a timeline.
    result.nestedSequenceCount = nestedCount(chain, masters.used);
    determineUsage({media.tables, names, sequenceIDs.size(), clips.video.size() + clips.audio.size(),
                    clips.timelines, masters, chain.paths, chain.noFileMasters, chain.mediaRefs,
                    mediaNames(lines)},
                   result);
    result.allMediaPaths = media.tables.allPaths();
    for (const QString& p : media.heldBack) {
        if (result.usedMediaPaths.contains(p))
            result.allMediaPaths.insert(p);
    }
    result.sequenceNamesByID = clips.timelines;
    return result;
}

namespace {

template <typename T> void compare(QStringList& out, const char* field, const T& expected, const T& actual) {
    if (expected != actual)
        out.append(QLatin1StringView(field));
}

} // namespace

QStringList differencesFrom(const ReferenceReading& expected, const ProjectParser::ParseResult& actual) {
    QHash<QString, QString> sequenceNames;
    for (const ProjectSequence& s : actual.sequences)
        sequenceNames.insert(s.id, s.name);
    QStringList out;
    compare(out, "allMediaPaths", expected.allMediaPaths, actual.allMediaPaths);
    compare(out, "usedMediaPaths", expected.usedMediaPaths, actual.usedMediaPaths);
    compare(out, "usageCountByPath", expected.usageCountByPath, actual.usageCountByPath);
    compare(out, "audioOnlyPaths", expected.audioOnlyPaths, actual.audioOnlyPaths);
    compare(out, "sequenceUsageByPath", expected.sequenceUsageByPath, actual.sequenceUsageByPath);
    compare(out, "sequenceNamesByPath", expected.sequenceNamesByPath, actual.sequenceNamesByPath);
    compare(out, "sequences", expected.sequenceNamesByID, sequenceNames);
    compare(out, "sequences (count)", qsizetype(expected.sequenceNamesByID.size()), actual.sequences.size());
    compare(out, "nestedSequenceCount", expected.nestedSequenceCount, actual.nestedSequenceCount);
    compare(out, "unresolvedClipNames", expected.unresolvedClipNames, actual.unresolvedClipNames);
    compare(out, "warnings (count)", expected.warningCount, actual.warnings.size());
    return out;
}

} // namespace tarnwick::testing
