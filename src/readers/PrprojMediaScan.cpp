#include "readers/PrprojMediaScan.h"

#include "platform/AppLog.h"
#include "platform/PathText.h"

#include "readers/PrprojPatterns.h"
#include "readers/PrprojTextFilters.h"
#include "readers/ReaderTask.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

namespace tarnwick::prproj {

namespace {

// One accepted path as its line gives it, with the text work (decoding, filters, keys) already
// done: that part runs on several threads, and only the table updates run in line order.
struct PathFound {
    QString path; // normalised
    QString key;  // its canonical key
    std::optional<QString> relativePath;
    std::optional<QString> titleKey;
    std::optional<std::string_view> mediaID;
    bool heldBack = false; // a preview or cache file: media only if a timeline uses it
};

// How surely a stored relative path is the one beside the project: the editor writes that one
// starting with a dot segment (./clips/a.mov, ..\Footage\a.mov).
int relativeRank(const QString& relative) {
    if (relative.isEmpty())
        return 0;
    const bool dotted =
        relative == u'.' || relative == QLatin1StringView("..") ||
        relative.startsWith(QLatin1StringView("./")) || relative.startsWith(QLatin1StringView(".\\")) ||
        relative.startsWith(QLatin1StringView("../")) || relative.startsWith(QLatin1StringView("..\\"));
    return dotted ? 2 : 1;
}

struct BlockState {
    std::optional<std::string_view> mediaID;
    bool namesPath = false;      // some file path text of the block looks like a path
    bool nonPathToken = false;   // a file path text that cannot be a file (a bare number or word)
    bool infinite = false;       // <Infinite>true</Infinite>: a generator, not a file
    bool numberedStills = false; // <IsNumberedStills>true</IsNumberedStills> inside the block
    // <VideoStream ObjectRef="N"/>: the stream where the editor keeps the flag and the frame count.
    std::optional<std::string_view> videoStream;
    bool hasActualPath = false;       // the block names its current path: a plain one is older
    std::optional<QString> plainPath; // the first plain <FilePath> text, settled at the block's end
    bool relativeFromBlock = false;   // the relative path was read in this block, not carried over
    std::optional<QString> title;
    std::optional<QString> titleKey; // lower-cased title, computed once per title
    std::optional<QString> relativePath;

    void resetFileTexts() {
        namesPath = nonPathToken = infinite = hasActualPath = relativeFromBlock = numberedStills = false;
        plainPath.reset();
        videoStream.reset();
    }

    const QString& key() {
        if (!titleKey)
            titleKey = MediaTables::titleKey(*title);
        return *titleKey;
    }
};

constexpr MarkerMask kRelevant =
    bits(mediaUID, mediaTitle, relativePath, actualPath, filePath, mediaEnd, infinite, numberedStills,
         videoStreamRef, videoStreamID, videoStreamEnd, durationStart, frameRateStart);
constexpr MarkerMask kStreamValues = bits(numberedStills, durationStart, frameRateStart);

constexpr std::string_view kStillsFlag = "<IsNumberedStills>true</IsNumberedStills>";
constexpr std::string_view kStreamStart = "<VideoStream ObjectID=\"";
constexpr std::string_view kStreamEnd = "</VideoStream>";

// A Media block that may be numbered stills: flagged itself, or naming the video stream that says so
// (before or after it in the file, so it is settled once every stream is read).
struct StillsBlock {
    std::string_view mediaID;
    QString title;
    std::optional<std::string_view> videoStream;
    bool flagged = false;
};

// A video stream's definition: whether it holds numbered stills and how many frames it runs.
struct VideoStreamFacts {
    std::string_view id;
    bool numberedStills = false;
    std::optional<qint64> frameCount;
};

// A whole number of ticks; absent for anything else.
std::optional<qint64> ticksIn(std::string_view text, std::string_view start, std::string_view end) {
    const auto digits = textBetween(text, start, end, true);
    if (!digits || digits->empty() || digits->size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : *digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The stream's Duration over its FrameRate, a frame begun counting whole: a count too high keeps
// frames that are not the sequence's, one too low would call used frames unused.
std::optional<qint64> frameCountOf(std::optional<qint64> duration, std::optional<qint64> frameRate) {
    if (!duration || !frameRate || *duration <= 0 || *frameRate <= 0)
        return std::nullopt;
    return *duration / *frameRate + (*duration % *frameRate != 0 ? 1 : 0);
}

class MediaBlockReader {
public:
    MediaBlockReader(std::vector<PathFound>& out, std::vector<std::string_view>& generated,
                     std::vector<StillsBlock>& stills, std::vector<VideoStreamFacts>& streams)
        : m_out(out), m_generated(generated), m_stills(stills), m_streams(streams) {}

    void read(const MarkedLine& line) {
        // A stream never holds a Media block: one left open ends here, so a piece that starts after
        // a block's end reads as one reader would.
        const bool mediaLine = line.has(mediaUID) || line.has(mediaEnd);
        if (mediaLine)
            settleStream();
        const bool flagInStream = readStreamParts(line);
        if (mediaLine)
            settleStream();
        if (line.has(mediaUID)) {
            // What was read since the last block (an audio preview's path between two blocks) tells
            // nothing about this one: only the title and relative path carry over.
            settlePlainPath();
            m_state.resetFileTexts();
            if (auto id = firstCapture(Pattern::mediaStart, line.text))
                m_state.mediaID = *id;
        }
        if (line.has(mediaTitle)) {
            if (auto t = textBetween(line.text, "<Title>", "</Title>", false)) {
                m_state.title = toQString(*t);
                m_state.titleKey.reset();
            }
        }
        if (line.has(relativePath))
            readRelativePath(line.text);
        if (line.has(actualPath))
            readActualPath(line.text);
        if (line.has(filePath))
            readFilePath(line.text);
        if (line.has(infinite) && line.text.find("<Infinite>true</Infinite>") != std::string_view::npos)
            m_state.infinite = true;
        // The flag and the stream reference count only inside a block: between blocks they are others'.
        if (m_state.mediaID) {
            if (line.has(numberedStills) && !flagInStream &&
                line.text.find(kStillsFlag) != std::string_view::npos)
                m_state.numberedStills = true;
            if (line.has(videoStreamRef) && !m_state.videoStream)
                m_state.videoStream = textBetween(line.text, "<VideoStream ObjectRef=\"", "\"", true);
        }
        if (line.has(mediaEnd)) {
            settlePlainPath();
            if (m_state.mediaID && isGenerated(m_state))
                m_generated.push_back(*m_state.mediaID);
            if (m_state.mediaID && (m_state.numberedStills || m_state.videoStream))
                m_stills.push_back({*m_state.mediaID, m_state.title.value_or(QString()), m_state.videoStream,
                                    m_state.numberedStills});
            m_state = {};
        }
    }

    // The end of the text read: a block left open gives its plain path now.
    void finish() {
        settlePlainPath();
        commitPending();
        settleStream();
    }

private:
    // The parts of the line inside a <VideoStream ObjectID="N"> definition, read into that stream;
    // true when the numbered-stills flag stood in one of them.
    bool readStreamParts(const MarkedLine& line) {
        const bool bounds = line.has(videoStreamID) || line.has(videoStreamEnd);
        if (!bounds)
            return m_stream && (line.mask & kStreamValues) != 0 && readStreamValues(line, line.text);
        bool flagged = false;
        std::string_view rest = line.text;
        while (!rest.empty()) {
            if (m_stream) {
                // Streams do not nest: another's start ends this one too.
                const std::size_t end = rest.find(kStreamEnd);
                const std::size_t stop = std::min(end, rest.find(kStreamStart));
                flagged = readStreamValues(line, rest.substr(0, stop)) || flagged;
                if (stop == std::string_view::npos)
                    break;
                settleStream();
                rest.remove_prefix(stop == end ? end + kStreamEnd.size() : stop);
                continue;
            }
            const std::size_t start = rest.find(kStreamStart);
            if (start == std::string_view::npos)
                break;
            rest.remove_prefix(start + kStreamStart.size());
            const std::size_t quote = rest.find('"');
            if (quote == std::string_view::npos || quote == 0)
                break;
            m_stream.emplace().id = rest.substr(0, quote);
            rest.remove_prefix(quote + 1);
        }
        return flagged;
    }

    bool readStreamValues(const MarkedLine& line, std::string_view part) {
        if (line.has(durationStart))
            if (const auto ticks = ticksIn(part, "<Duration>", "</Duration>"))
                m_streamDuration = ticks;
        if (line.has(frameRateStart))
            if (const auto ticks = ticksIn(part, "<FrameRate>", "</FrameRate>"))
                m_streamFrameRate = ticks;
        if (!line.has(numberedStills) || part.find(kStillsFlag) == std::string_view::npos)
            return false;
        m_stream->numberedStills = true;
        return true;
    }

    void settleStream() {
        if (m_stream) {
            m_stream->frameCount = frameCountOf(m_streamDuration, m_streamFrameRate);
            if (m_stream->numberedStills || m_stream->frameCount)
                m_streams.push_back(*m_stream);
        }
        m_stream.reset();
        m_streamDuration.reset();
        m_streamFrameRate.reset();
    }

    // The system would act on the text before a NUL, so "a.mov\0evil.mov" would pass for "a.mov".
    static bool droppedForNul(const QString& decoded) {
        if (!path::containsNul(decoded))
            return false;
        AppLog::parserWarning(QStringLiteral("Skipped a media path containing a NUL character: ") +
                              QString(decoded).replace(QChar(u'\0'), QStringLiteral("\\0")));
        return true;
    }

    PathFound& add(const QString& normalized, bool heldBack) {
        commitPending();
        PathFound& found = m_pending.emplace();
        found.path = normalized;
        found.mediaID = m_state.mediaID;
        found.heldBack = heldBack;
        return found;
    }

    // The path a path text names, in forward-slash form; absent for text that names no file.
    static std::optional<QString> mediaPath(const QString& decoded) {
        const std::optional<QString> fromURL = pathOfFileURL(decoded);
        const QString& text = fromURL ? *fromURL : decoded;
        if (!isPlausiblePath(text) || droppedForNul(text))
            return std::nullopt;
        return normalizedWindowsPath(text);
    }

public:
    // Keeps the path just read unless it repeats, field for field, the last one kept under the same
    // key: adding it again would change nothing, and a project of one repeated line would otherwise
    // hold a copy of it per line.
    void commitPending() {
        if (!m_pending)
            return;
        PathFound found = std::move(*m_pending);
        m_pending.reset();
        found.key = MediaTables::canonicalKey(found.path);
        const auto last = m_lastByKey.constFind(found.key);
        if (last != m_lastByKey.constEnd() && sameFound(m_out[*last], found))
            return;
        m_lastByKey.insert(found.key, m_out.size());
        m_out.push_back(std::move(found));
    }

private:
    static bool sameFound(const PathFound& a, const PathFound& b) {
        return a.path == b.path && a.relativePath == b.relativePath && a.titleKey == b.titleKey &&
               a.mediaID == b.mediaID && a.heldBack == b.heldBack;
    }

    // A block may name two relative paths; the one beside the project is kept (the first of them
    // when they look alike).
    void readRelativePath(std::string_view line) {
        const auto raw = textBetween(line, "<RelativePath>", "</RelativePath>", false);
        if (!raw)
            return;
        QString relative = decodeXMLEntities(toQString(*raw));
        if (m_state.relativeFromBlock && m_state.relativePath &&
            relativeRank(relative) <= relativeRank(*m_state.relativePath))
            return;
        m_state.relativePath = std::move(relative);
        m_state.relativeFromBlock = true;
    }

    void readActualPath(std::string_view line) {
        const auto raw = textBetween(line, "<ActualMediaFilePath>", "</ActualMediaFilePath>", false);
        if (!raw)
            return;
        const QString decoded = decodeXMLEntities(toQString(*raw));
        classifyFileText(decoded);
        if (!decoded.trimmed().isEmpty())
            m_state.hasActualPath = true;
        addBlockPath(decoded);
    }

    // Adds the path a path text names: a preview or cache file is held back as it is, any other is
    // returned to be filed. None when the text names no file or the path was held back.
    PathFound* addMediaPath(const QString& decoded) {
        const std::optional<QString> normalized = mediaPath(decoded);
        if (!normalized)
            return nullptr;
        if (isRenderOrCacheFile(*normalized)) {
            add(*normalized, true);
            return nullptr;
        }
        return &add(*normalized, false);
    }

    // A path of the block itself: filed under its title, identifier and relative path.
    void addBlockPath(const QString& decoded) {
        PathFound* found = addMediaPath(decoded);
        if (!found)
            return;
        if (m_state.relativePath && !m_state.relativePath->isEmpty())
            found->relativePath = *m_state.relativePath;
        if (m_state.title)
            found->titleKey = m_state.key();
    }

    // A block saved while its media was offline names the file only by a plain <FilePath>; a block
    // with an actual path keeps that one alone.
    void settlePlainPath() {
        if (m_state.plainPath && !m_state.hasActualPath)
            addBlockPath(*m_state.plainPath);
        m_state.plainPath.reset();
    }

    void readFilePath(std::string_view line) {
        const auto raw = textBetween(line, "<FilePath>", "</FilePath>", true);
        if (!raw || raw->empty())
            return;
        if (raw->front() != '{') {
            QString decoded = decodeXMLEntities(toQString(*raw));
            classifyFileText(decoded);
            // Only a Media block's own: other objects (audio previews) write plain file paths too.
            if (m_state.mediaID && !m_state.plainPath)
                m_state.plainPath = std::move(decoded);
            return;
        }
        m_state.namesPath = true; // an object with a file path: never generated
        const QString object = toQString(*raw);
        const std::optional<QString> value = jsonStringValue(QStringLiteral("mFilePath"), object);
        if (!value)
            return;
        PathFound* found = addMediaPath(decodeXMLEntities(*value));
        if (!found)
            return;
        std::optional<QString> title = jsonStringValue(QStringLiteral("displayName"), object);
        if (!title)
            title = m_state.title;
        if (title && !title->isEmpty())
            found->titleKey = MediaTables::titleKey(*title);
    }

    // Generated media write an identifier where files write their path (Premiere writes a number).
    // Anything with a separator, a drive colon or an extension dot may be a file: it stays a path.
    void classifyFileText(const QString& text) {
        if (text.trimmed().isEmpty())
            return;
        if (isPlausiblePath(text) || text.contains(u'/') || text.contains(u'\\') || text.contains(u':') ||
            text.contains(u'.'))
            m_state.namesPath = true;
        else
            m_state.nonPathToken = true;
    }

    static bool isGenerated(const BlockState& s) { return !s.namesPath && (s.nonPathToken || s.infinite); }

    std::vector<PathFound>& m_out;
    std::vector<std::string_view>& m_generated;
    std::vector<StillsBlock>& m_stills;
    std::vector<VideoStreamFacts>& m_streams;
    BlockState m_state;
    std::optional<VideoStreamFacts> m_stream; // the stream definition being read
    std::optional<qint64> m_streamDuration;
    std::optional<qint64> m_streamFrameRate;
    std::optional<PathFound> m_pending;      // completed by the caller of add() before the next line
    QHash<QString, std::size_t> m_lastByKey; // the last path kept under each key: its place in m_out
};

// What one piece of the lines gives.
struct PieceFound {
    std::vector<PathFound> paths;
    std::vector<std::string_view> generated;
    std::vector<StillsBlock> stills;
    std::vector<VideoStreamFacts> streams;
};

// The paths found by the pieces into the tables. The spelling each path is kept under is decided in
// line order (the first spelling seen wins); the three tables that only record it are then filled at
// once, each in line order, so they come out as one reader would fill them.
void addToTables(MediaScan& out, const std::vector<PieceFound>& found, bool parallel) {
    std::vector<QString> kept;
    std::size_t total = 0;
    for (const PieceFound& piece : found)
        total += piece.paths.size();
    kept.reserve(total);
    for (const PieceFound& piece : found) {
        for (const PathFound& f : piece.paths) {
            if (f.heldBack) {
                out.heldBackPaths.insert(f.path);
                kept.push_back(f.path);
            } else {
                kept.push_back(out.tables.accept(f.path, f.key));
            }
        }
    }
    auto eachFound = [&](const auto& add) {
        std::size_t k = 0;
        for (const PieceFound& piece : found) {
            for (const PathFound& f : piece.paths)
                add(f, kept[k++]);
        }
    };
    ReaderTask<void> relative(
        [&] {
            eachFound([&](const PathFound& f, const QString& path) {
                if (f.relativePath && !f.heldBack)
                    out.tables.relativePathsByPath.insert(path, *f.relativePath);
            });
        },
        parallel);
    ReaderTask<void> titles(
        [&] {
            eachFound([&](const PathFound& f, const QString& path) {
                if (f.titleKey && !f.heldBack)
                    addUnique(out.tables.pathsByTitle[*f.titleKey], path);
            });
        },
        parallel);
    eachFound([&](const PathFound& f, const QString& path) {
        if (f.mediaID)
            addUnique(out.pathsByMediaUID[*f.mediaID], path);
    });
    relative.get();
    titles.get();
}

// Piece starts for reading at once: each piece but the first starts right after a "</Media>" line,
// where a reader's block state is empty, so every piece reads exactly as one reader would.
std::vector<std::size_t> pieceStarts(const MarkedLines& lines, int pieces) {
    std::vector<std::size_t> starts{0};
    for (int k = 1; k < pieces; ++k) {
        std::size_t at = std::max(starts.back(), lines.size() * static_cast<std::size_t>(k) /
                                                     static_cast<std::size_t>(pieces));
        for (auto it = lines.iteratorAt(at); at < lines.size() && !it->has(mediaEnd); ++it)
            ++at;
        if (at >= lines.size())
            break;
        starts.push_back(at + 1);
    }
    starts.push_back(lines.size());
    return starts;
}

// The fractions of lines read, reported while the pieces read: the same values in the same order as
// one reader gives them, since they depend on the line count only. Pieces report their own
// progress; whichever gets the lock reports for all of them.
class LiveProgress {
public:
    LiveProgress(std::size_t lines, const std::function<void(double)>& progress, std::size_t pieces)
        : m_lines(lines), m_step(lines >= 100 ? lines / 100 : 1), m_progress(progress), m_passed(pieces) {}

    bool active() const { return static_cast<bool>(m_progress); }
    std::size_t step() const { return m_step; }

    void advance(std::size_t piece, std::size_t passed) {
        m_passed[piece].store(passed, std::memory_order_relaxed);
        std::unique_lock lock(m_mutex, std::try_to_lock);
        if (!lock.owns_lock())
            return; // the holder reports; the final call catches up
        std::size_t total = 0;
        for (const auto& p : m_passed)
            total += p.load(std::memory_order_relaxed);
        reportUpTo(total);
    }
    void finish() {
        const std::lock_guard lock(m_mutex);
        if (m_lines > 0)
            reportUpTo(m_lines - 1);
    }

private:
    void reportUpTo(std::size_t lineIndex) {
        for (; m_next <= lineIndex && m_next < m_lines; m_next += m_step)
            m_progress(static_cast<double>(m_next) / static_cast<double>(m_lines));
    }

    const std::size_t m_lines;
    const std::size_t m_step;
    const std::function<void(double)>& m_progress;
    std::vector<std::atomic<std::size_t>> m_passed;
    std::mutex m_mutex;
    std::size_t m_next = 0;
};

void readPiece(const MarkedLines& lines, std::size_t from, std::size_t to, PieceFound& out,
               LiveProgress& live, std::size_t piece, std::size_t firstLine) {
    MediaBlockReader reader(out.paths, out.generated, out.stills, out.streams);
    const std::size_t every = live.active() ? std::max<std::size_t>(live.step() / 4, 1) : 0;
    std::size_t nextReport = firstLine;
    forEachMarked(lines.iteratorAt(from), lines.iteratorAt(to), kRelevant, [&](const MarkedLine& line) {
        if (every != 0 && line.index >= nextReport) {
            live.advance(piece, line.index - firstLine);
            nextReport = line.index + every;
        }
        reader.read(line);
    });
    reader.finish();
}

// The blocks of numbered stills, settled now that every stream is read: a block flagged itself or
// through its video stream, counted by the title's range or else by the stream.
void addNumberedStills(MediaScan& out, const std::vector<PieceFound>& found) {
    IdMap<VideoStreamFacts> streams;
    for (const PieceFound& piece : found) {
        for (const VideoStreamFacts& stream : piece.streams)
            streams.insert({stream.id, stream}); // the first definition of a number stands
    }
    QSet<QString> kept;
    for (const PieceFound& piece : found) {
        for (const StillsBlock& block : piece.stills) {
            const auto stream = block.videoStream ? streams.find(*block.videoStream) : streams.end();
            const bool hasStream = stream != streams.end();
            if (!block.flagged && !(hasStream && stream->second.numberedStills))
                continue;
            const auto paths = out.pathsByMediaUID.find(block.mediaID);
            if (paths == out.pathsByMediaUID.end())
                continue;
            const std::optional<qint64> count = hasStream ? stream->second.frameCount : std::nullopt;
            for (const QString& path : paths->second) {
                std::optional<ImageSequence> sequence =
                    ImageSequence::fromFirstFrame(path, block.title, count);
                if (!sequence)
                    continue;
                const QString key = path + u'\n' + QString::number(sequence->firstFrame.value_or(-1)) + u'-' +
                                    QString::number(sequence->lastFrame.value_or(-1));
                if (!kept.contains(key)) {
                    kept.insert(key);
                    out.numberedStills.append(std::move(*sequence));
                }
            }
        }
    }
}

} // namespace

MediaScan scanMediaBlocks(const MarkerIndex& index, const std::function<void(double)>& progress,
                          int threads) {
    const std::vector<std::size_t> starts = pieceStarts(index.lines, threads > 1 ? threads : 1);
    const std::size_t pieces = starts.size() - 1;
    std::vector<PieceFound> found(pieces);
    LiveProgress live(index.lineCount, progress, pieces);
    // Each piece counts the lines it passed from where its span of the text begins.
    auto firstLine = [&](std::size_t k) {
        return k == 0 || starts[k] >= index.lines.size() ? std::size_t(0) : index.lines[starts[k]].index;
    };
    std::vector<ReaderTask<void>> others;
    for (std::size_t k = 1; k < pieces; ++k)
        others.emplace_back([&index, &starts, &found, &live, k, first = firstLine(k)] {
            readPiece(index.lines, starts[k], starts[k + 1], found[k], live, k, first);
        });
    readPiece(index.lines, starts[0], starts[1], found[0], live, 0, 0);
    for (auto& piece : others)
        piece.get();
    if (live.active())
        live.finish();
    MediaScan out;
    out.pathsByMediaUID.reserve(index.linesWith[mediaUID]);
    addToTables(out, found, pieces > 1);
    // A block that gave a path is a file, whatever else it says.
    for (const PieceFound& piece : found) {
        for (Id id : piece.generated) {
            const auto paths = out.pathsByMediaUID.find(id);
            if (paths == out.pathsByMediaUID.end() || paths->second.isEmpty())
                out.generatedMediaUIDs.insert(id);
        }
    }
    addNumberedStills(out, found);
    return out;
}

} // namespace tarnwick::prproj
