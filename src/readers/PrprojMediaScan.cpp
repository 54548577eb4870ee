#include "readers/PrprojMediaScan.h"

#include "platform/AppLog.h"
#include "platform/PathText.h"

#include "readers/PrprojPatterns.h"
#include "readers/PrprojTextFilters.h"
#include "readers/ReaderTask.h"

#include <algorithm>
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
};

struct BlockState {
    std::optional<std::string_view> mediaID;
    std::optional<QString> title;
    std::optional<QString> titleKey; // lower-cased title, computed once per title
    std::optional<QString> relativePath;

    const QString& key() {
        if (!titleKey)
            titleKey = MediaTables::titleKey(*title);
        return *titleKey;
    }
};

constexpr MarkerMask kRelevant = bits(mediaUID, mediaTitle, relativePath, actualPath, filePath, mediaEnd);

class MediaBlockReader {
public:
    explicit MediaBlockReader(std::vector<PathFound>& out) : m_out(out) {}

    void read(const MarkedLine& line) {
        if (line.has(mediaUID)) {
            if (auto id = firstCapture(Pattern::mediaStart, line.text))
                m_state.mediaID = *id;
        }
        if (line.has(mediaTitle)) {
            if (auto t = textBetween(line.text, "<Title>", "</Title>", false)) {
                m_state.title = toQString(*t);
                m_state.titleKey.reset();
            }
        }
        if (line.has(relativePath)) {
            if (auto r = textBetween(line.text, "<RelativePath>", "</RelativePath>", false))
                m_state.relativePath = decodeXMLEntities(toQString(*r));
        }
        if (line.has(actualPath))
            readActualPath(line.text);
        if (line.has(filePath))
            readFilePath(line.text);
        if (line.has(mediaEnd))
            m_state = {};
    }

private:
    // The system would act on the text before a NUL, so "a.mov\0evil.mov" would pass for "a.mov".
    static bool droppedForNul(const QString& decoded) {
        if (!path::containsNul(decoded))
            return false;
        AppLog::parserWarning(QStringLiteral("Skipped a media path containing a NUL character: ") +
                              QString(decoded).replace(QChar(u'\0'), QStringLiteral("\\0")));
        return true;
    }

    PathFound& add(const QString& normalized) {
        commitPending();
        PathFound& found = m_pending.emplace();
        found.path = normalized;
        found.mediaID = m_state.mediaID;
        return found;
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
        auto last = m_lastByKey.find(found.key);
        if (last != m_lastByKey.end() && sameFound(*last, found))
            return;
        m_lastByKey.insert(found.key, found);
        m_out.push_back(std::move(found));
    }

private:
    static bool sameFound(const PathFound& a, const PathFound& b) {
        return a.path == b.path && a.relativePath == b.relativePath && a.titleKey == b.titleKey &&
               a.mediaID == b.mediaID;
    }

    void readActualPath(std::string_view line) {
        const auto raw = textBetween(line, "<ActualMediaFilePath>", "</ActualMediaFilePath>", false);
        if (!raw)
            return;
        const QString decoded = decodeXMLEntities(toQString(*raw));
        if (!isPlausiblePath(decoded) || droppedForNul(decoded))
            return;
        const QString normalized = normalizedWindowsPath(decoded);
        if (isRenderOrCacheFile(normalized, m_state.title))
            return;
        PathFound& found = add(normalized);
        if (m_state.relativePath && !m_state.relativePath->isEmpty())
            found.relativePath = *m_state.relativePath;
        if (m_state.title)
            found.titleKey = m_state.key();
    }

    void readFilePath(std::string_view line) {
        const auto raw = textBetween(line, "<FilePath>", "</FilePath>", true);
        if (!raw || raw->empty() || raw->front() != '{')
            return;
        const QString object = toQString(*raw);
        const std::optional<QString> value = jsonStringValue(QStringLiteral("mFilePath"), object);
        if (!value)
            return;
        const QString decoded = decodeXMLEntities(*value);
        if (!isPlausiblePath(decoded) || droppedForNul(decoded))
            return;
        const QString normalized = normalizedWindowsPath(decoded);
        std::optional<QString> title = jsonStringValue(QStringLiteral("displayName"), object);
        if (!title)
            title = m_state.title;
        if (isRenderOrCacheFile(normalized, title))
            return;
        PathFound& found = add(normalized);
        if (title && !title->isEmpty())
            found.titleKey = MediaTables::titleKey(*title);
    }

    std::vector<PathFound>& m_out;
    BlockState m_state;
    std::optional<PathFound> m_pending; // completed by the caller of add() before the next line
    QHash<QString, PathFound> m_lastByKey;
};

void addToTables(MediaScan& out, const PathFound& found) {
    const QString path = out.tables.accept(found.path, found.key);
    if (found.relativePath)
        out.tables.relativePathsByPath.insert(path, *found.relativePath);
    if (found.titleKey)
        addUnique(out.tables.pathsByTitle[*found.titleKey], path);
    if (found.mediaID)
        addUnique(out.pathsByMediaUID[*found.mediaID], path);
}

// Piece starts for reading at once: each piece but the first starts right after a "</Media>" line,
// where a reader's block state is empty, so every piece reads exactly as one reader would.
std::vector<std::size_t> pieceStarts(const std::vector<MarkedLine>& lines, int pieces) {
    std::vector<std::size_t> starts{0};
    for (int k = 1; k < pieces; ++k) {
        std::size_t at = std::max(starts.back(), lines.size() * static_cast<std::size_t>(k) /
                                                     static_cast<std::size_t>(pieces));
        while (at < lines.size() && !lines[at].has(mediaEnd))
            ++at;
        if (at >= lines.size())
            break;
        starts.push_back(at + 1);
    }
    starts.push_back(lines.size());
    return starts;
}

void readPiece(const std::vector<MarkedLine>& lines, std::size_t from, std::size_t to,
               std::vector<PathFound>& out, const std::function<void(std::size_t)>& onLine) {
    MediaBlockReader reader(out);
    for (std::size_t i = from; i < to; ++i) {
        const MarkedLine& line = lines[i];
        if ((line.mask & kRelevant) == 0)
            continue;
        if (onLine)
            onLine(line.index);
        reader.read(line);
    }
    reader.commitPending();
}

} // namespace

MediaScan scanMediaBlocks(const MarkerIndex& index, const std::function<void(double)>& progress,
                          int threads) {
    const std::size_t lines = index.lineCount;
    const std::size_t step = lines >= 100 ? lines / 100 : 1;
    std::size_t nextReport = 0;
    auto reportUpTo = [&](std::size_t lineIndex) {
        for (; nextReport <= lineIndex && nextReport < lines; nextReport += step)
            progress(static_cast<double>(nextReport) / static_cast<double>(lines));
    };
    const std::vector<std::size_t> starts = pieceStarts(index.lines, threads > 1 ? threads : 1);
    std::vector<std::vector<PathFound>> found(starts.size() - 1);
    if (found.size() == 1) {
        readPiece(index.lines, 0, index.lines.size(), found[0],
                  progress ? std::function<void(std::size_t)>(reportUpTo)
                           : std::function<void(std::size_t)>());
    } else {
        std::vector<ReaderTask<void>> others;
        for (std::size_t k = 1; k < found.size(); ++k)
            others.emplace_back([&index, &starts, &found, k] {
                readPiece(index.lines, starts[k], starts[k + 1], found[k],
                          std::function<void(std::size_t)>());
            });
        readPiece(index.lines, starts[0], starts[1], found[0], {});
        for (auto& piece : others)
            piece.get();
    }
    // The fractions depend on the line count only, so pieces read at once report the same ones.
    if (progress && lines > 0)
        reportUpTo(lines - 1);
    MediaScan out;
    for (const std::vector<PathFound>& piece : found) {
        for (const PathFound& f : piece)
            addToTables(out, f);
    }
    return out;
}

} // namespace tarnwick::prproj
