#pragma once

#include "model/ImageSequence.h"
#include "model/ProjectSequence.h"
#include "model/SequenceUsageAttribution.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarnwick {

// Reads one Premiere Pro project (.prproj: gzip or raw DEFLATE around UTF-8 XML) for the media it
// references and which of them its timelines use. Holds no state: one reader may be used from one
// thread at a time, and the import gives every project a reader of its own.
class ProjectParser {
public:
    struct ParseResult {
        QString projectName;
        QSet<QString> allMediaPaths;
        QSet<QString> usedMediaPaths;
        QHash<QString, int> usageCountByPath;
        QSet<QString> audioOnlyPaths;
        int nestedSequenceCount = 0;
        std::optional<QString> error; // always absent: failures are thrown
        QStringList warnings;
        QHash<QString, QString> relativeCandidates;
        QHash<QString, QSet<QString>> sequenceNamesByPath;
        QStringList sequenceNames;
        QList<ProjectSequence> sequences;
        QHash<QString, SequenceUsageAttribution> sequenceUsageByPath;
        // Names of timeline clips that lead to a file the reader could not match, sorted: files of
        // these names, in any project, need review.
        QStringList unresolvedClipNames;
        // Media blocks marked as numbered stills, by their first frame's path (as in allMediaPaths),
        // in the order the blocks come.
        QList<ImageSequence> numberedStills;
        // For an After Effects project the media list names, the compositions of it that media titles
        // name ("Composition/Project.aep"), lower-cased: what ties a file of its name to this project.
        QHash<QString, QStringList> linkedCompositions;

        bool operator==(const ParseResult&) const = default;
    };

    class ParserError : public Error {
    public:
        enum class Kind { decompressionFailed, invalidXML, noMediaFound };

        ParserError(Kind kind, QString payload = {});
        static ParserError decompressionFailed() {
            return {Kind::decompressionFailed, QStringLiteral("Failed to decompress gzip data")};
        }

        Kind kind() const { return m_kind; }
        const QString& payload() const { return m_payload; }

    private:
        Kind m_kind;
        QString m_payload;
    };

    // The project file could not be read; the description names the file and the system's reason.
    class FileReadError : public Error {
    public:
        FileReadError(const QString& path, const QString& reason);
    };

    // Message and fraction (0 to 1); called on the parsing thread.
    using Progress = std::function<void(const QString& message, double fraction)>;

    ProjectParser() = default;

    // Throws FileReadError or ParserError (decompressionFailed).
    ParseResult parse(const QString& filePath, const Progress& progress = {}) const;
    // The project's XML text. Throws FileReadError or ParserError.
    QString readAndDecompress(const QString& filePath) const;

    // The same as bytes: valid UTF-8, never converted as a whole.
    static QByteArray readAndDecompressUtf8(const QString& filePath);
    // Steps after decompression, for XML already in memory. `filePath` names the project (its name
    // and folder); it is not read.
    static ParseResult parseXml(const QByteArray& utf8Xml, const QString& filePath,
                                const Progress& progress = {});
};

} // namespace tarnwick
