#include "readers/PrprojRelativePath.h"

#include "platform/TextKey.h"

#include <QFileInfo>

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
    const QStringList parts = absolute.split(u'/');
    QStringList out;
    bool trailingSlash = false;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& s = parts[i];
        const bool last = i + 1 == parts.size();
        if (s == QLatin1StringView(".")) {
            trailingSlash = last;
        } else if (s == QLatin1StringView("..")) {
            if (!out.isEmpty())
                out.removeLast();
            trailingSlash = last;
        } else {
            out.append(s);
            trailingSlash = false;
        }
    }
    QString path = u'/' + out.join(u'/');
    if (trailingSlash && !path.endsWith(u'/'))
        path += u'/';
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

QString resolvedAgainst(const QString& relative, const QString& folder) {
    return removeDotSegments(relative.startsWith(u'/') ? relative : folder + relative);
}

} // namespace

QString resolveRelativePath(const QString& relative, const QString& projectFilePath) {
    if (relative.startsWith(u'/'))
        return removeDotSegments(relative);
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
