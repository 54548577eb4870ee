#pragma once

#include "model/ImageSequence.h"
#include "platform/Error.h"

#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>
#include <vector>

namespace tarnwick {

// Reads an After Effects project (big-endian RIFX, form type "Egg!") for the footage paths it
// mentions: a chunk walk for payloads that begin with a path, plus whole-file scans for path-like
// text in UTF-8 and UTF-16BE. It does not interpret the project's object model.
// One reader runs one call at a time; use several readers to parse projects in parallel.
class AEPParser {
public:
    struct ParseResult {
        QString projectName;
        QSet<QString> footagePaths; // backslashes turned into slashes
        // Footage items that are numbered sequences of stills, in file order, without repeats.
        QList<ImageSequence> sequences;
        // The compositions' names, in file order, without repeats: a Premiere project names the one
        // it links by its media title.
        QStringList compositions;

        bool operator==(const ParseResult&) const = default;
    };

    class AEPParserError : public Error {
    public:
        enum class Kind { invalidFormat, readError };

        AEPParserError(Kind kind, QString text);
        static AEPParserError invalidFormat(const QString& text) { return {Kind::invalidFormat, text}; }
        static AEPParserError readError(const QString& text) { return {Kind::readError, text}; }

        Kind kind() const { return m_kind; }
        const QString& text() const { return m_text; }

    private:
        Kind m_kind;
        QString m_text;
    };

    // Byte limit of one run of path text, and the character limit of one candidate.
    static constexpr qint64 runLimit = 16384;
    static constexpr qint64 maxPathCharacters = 4095;
    static constexpr int maxDepth = 50;

    AEPParser() = default;
    virtual ~AEPParser() = default;
    AEPParser(const AEPParser&) = delete;
    AEPParser& operator=(const AEPParser&) = delete;

    // Extensions of After Effects' own files, which never count as footage.
    static const QSet<QString>& projectFileExtensions();

    // Throws AEPParserError. The file is read into memory (never mapped: it may sit on a share).
    virtual ParseResult parse(const QString& path);
    virtual void walkChunks(QByteArrayView data, qint64 from, qint64 to, QSet<QString>& into, int depth);
    virtual QSet<QString> extractPaths(QByteArrayView data);

    static void scanUTF8Paths(QByteArrayView bytes, QSet<QString>& into);
    static void scanUTF16BEPaths(QByteArrayView bytes, QSet<QString>& into);
    static std::optional<QString> readUTF16BEPath(QByteArrayView bytes, qint64 at, qint64 length);
    static bool isPlausibleFootagePath(const QString& text);
    // The footage items that name a folder with a frame name's prefix and suffix: a "Pin " list
    // whose alias targets a folder, followed by the two texts and the footage options. Render
    // outputs (a folder followed by output-module settings) are not among them.
    static QList<ImageSequence> readSequences(QByteArrayView data);
    // The names of the composition items: an "Item" list whose "idta" gives the composition's type
    // and whose first text is its name.
    static QStringList readCompositions(QByteArrayView data);
    // A render's log, which After Effects writes into "<project>.aep Logs": never footage.
    static bool isRenderLog(const QString& path);

private:
    struct ListRange {
        qint64 from;
        qint64 to;
        int depth;
    };
    // The walk of one range; with `deferred`, lists below the split size are collected there instead.
    void walkRange(QByteArrayView data, qint64 from, qint64 to, QSet<QString>& into, int depth,
                   std::vector<ListRange>* deferred);
    void walkListsInParallel(QByteArrayView data, const std::vector<ListRange>& lists, QSet<QString>& into);
    void examinePayload(QByteArrayView data, qint64 start, qint64 size, QSet<QString>& into);

    std::mutex m_busy;
};

} // namespace tarnwick
