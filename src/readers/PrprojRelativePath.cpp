#include "readers/PrprojRelativePath.h"

#include "platform/TextKey.h"

#include <QFileInfo>
#include <QVarLengthArray>

#include <algorithm>

namespace tarnwick::prproj {

namespace {

bool hasDotSegment(QStringView path) {
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != u'/')
            continue;
        const qsizetype n = i - start;
        if ((n == 1 || n == 2) && path[start] == u'.' && (n == 1 || path[start + 1] == u'.'))
            return true;
        start = i + 1;
    }
    return false;
}

// RFC 3986 dot-segment removal on an absolute path; empty segments (doubled slashes) stay.
QString removeDotSegments(const QString& absolute) {
    if (absolute.startsWith(u'/') && !hasDotSegment(absolute)) {
        // Nothing to remove (the usual case): only the trailing slashes go.
        QString path = absolute;
        while (path.size() > 1 && path.endsWith(u'/'))
            path.chop(1);
        return path;
    }
    // The segments after the first slash: "." goes, ".." takes the one before it along. They are
    // written into one buffer as they come ("/" then the segments joined by "/"): never longer than
    // the input and its leading slash.
    const QStringView whole(absolute);
    QString path(absolute.size() + 1, Qt::Uninitialized);
    QChar* out = path.data();
    out[0] = u'/';
    qsizetype length = 1;
    QVarLengthArray<qsizetype, 64> kept; // the length before each kept segment (and its separator)
    qsizetype start = whole.indexOf(u'/');
    if (start >= 0) {
        ++start;
        while (true) {
            const qsizetype slash = whole.indexOf(u'/', start);
            const QStringView segment = slash < 0 ? whole.sliced(start) : whole.sliced(start, slash - start);
            if (segment == u"..") {
                if (!kept.isEmpty()) {
                    length = kept.last();
                    kept.removeLast();
                }
            } else if (segment != u".") {
                kept.append(length);
                if (kept.size() > 1)
                    out[length++] = u'/';
                std::copy(segment.begin(), segment.end(), out + length);
                length += segment.size();
            }
            if (slash < 0)
                break;
            start = slash + 1;
        }
    }
    path.truncate(length);
    // A URL's path drops its trailing slash (the root stays "/").
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QString projectFolder(const QString& projectFilePath) {
    QString folder = QFileInfo(projectFilePath).absolutePath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// A project saved on Windows writes its relative paths with backslashes (.\clips\a.mov): they
// separate folders as in the absolute paths, so they are folded the same way.
QString resolvedAgainst(const QString& relative, const QString& folder) {
    const QString folded = QString(relative).replace(u'\\', u'/');
    return removeDotSegments(folded.startsWith(u'/') ? folded : folder + folded);
}

} // namespace

QString resolveRelativePath(const QString& relative, const QString& projectFilePath) {
    return resolvedAgainst(relative, projectFolder(projectFilePath));
}

QHash<QString, QString> relativeCandidates(const QHash<QString, QString>& relativePathsByPath,
                                           const QString& projectFilePath) {
    QHash<QString, QString> out;
    const QString folder = projectFolder(projectFilePath);
    for (auto it = relativePathsByPath.constBegin(); it != relativePathsByPath.constEnd(); ++it) {
        const QString resolved = resolvedAgainst(it.value(), folder);
        if (!text::canonicalEquals(resolved, it.key()))
            out.insert(it.key(), resolved);
    }
    return out;
}

QStringList sequenceDisplayNamesSorted(const QList<ProjectSequence>& sequences) {
    QStringList names;
    names.reserve(sequences.size());
    for (const ProjectSequence& s : sequences)
        names.append(s.displayName());
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return text::localizedCaseInsensitiveCompare(a, b) < 0;
    });
    return names;
}

} // namespace tarnwick::prproj
