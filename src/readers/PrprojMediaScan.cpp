#include "readers/PrprojMediaScan.h"

#include "readers/PrprojPatterns.h"
#include "readers/PrprojTextFilters.h"

#include <optional>

namespace tarnwick::prproj {

namespace {

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

class MediaBlockReader {
public:
    explicit MediaBlockReader(MediaScan& out) : m_out(out) {}

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
    void addToIdentifier(const QString& path) {
        if (m_state.mediaID)
            addUnique(m_out.pathsByMediaUID[*m_state.mediaID], path);
    }

    void readActualPath(std::string_view line) {
        const auto raw = textBetween(line, "<ActualMediaFilePath>", "</ActualMediaFilePath>", false);
        if (!raw)
            return;
        const QString decoded = decodeXMLEntities(toQString(*raw));
        if (!isPlausiblePath(decoded))
            return;
        const QString normalized = normalizedWindowsPath(decoded);
        if (isRenderOrCacheFile(normalized, m_state.title))
            return;
        const QString path = m_out.tables.accept(normalized);
        if (m_state.relativePath && !m_state.relativePath->isEmpty())
            m_out.tables.relativePathsByPath.insert(path, *m_state.relativePath);
        if (m_state.title)
            addUnique(m_out.tables.pathsByTitle[m_state.key()], path);
        addToIdentifier(path);
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
        if (!isPlausiblePath(decoded))
            return;
        const QString normalized = normalizedWindowsPath(decoded);
        std::optional<QString> title = jsonStringValue(QStringLiteral("displayName"), object);
        if (!title)
            title = m_state.title;
        if (isRenderOrCacheFile(normalized, title))
            return;
        const QString path = m_out.tables.accept(normalized);
        if (title && !title->isEmpty())
            addUnique(m_out.tables.pathsByTitle[MediaTables::titleKey(*title)], path);
        addToIdentifier(path);
    }

    MediaScan& m_out;
    BlockState m_state;
};

} // namespace

MediaScan scanMediaBlocks(const MarkerIndex& index, const std::function<void(double)>& progress) {
    constexpr MarkerMask relevant = bits(mediaUID, mediaTitle, relativePath, actualPath, filePath, mediaEnd);
    MediaScan out;
    MediaBlockReader reader(out);
    const std::size_t lines = index.lineCount;
    const std::size_t step = lines >= 100 ? lines / 100 : 1;
    std::size_t nextReport = 0;
    auto reportUpTo = [&](std::size_t lineIndex) {
        if (!progress)
            return;
        for (; nextReport <= lineIndex && nextReport < lines; nextReport += step)
            progress(static_cast<double>(nextReport) / static_cast<double>(lines));
    };
    for (const MarkedLine& line : index.lines) {
        if ((line.mask & relevant) == 0)
            continue;
        reportUpTo(line.index);
        reader.read(line);
    }
    if (lines > 0)
        reportUpTo(lines - 1);
    return out;
}

} // namespace tarnwick::prproj
