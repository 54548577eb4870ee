#include "platform/PathText.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace tarnwick::path {

namespace {

// The path without trailing slashes; a path of slashes only becomes "/".
QStringView trimmedTrailingSlashes(QStringView path) {
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == u'/')
        --end;
    return path.first(end);
}

// Position of the extension's dot in the last component, or -1.
qsizetype extensionDot(QStringView trimmed) {
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    const qsizetype start = slash + 1;
    const qsizetype dot = trimmed.lastIndexOf(u'.');
    if (dot <= start || dot == trimmed.size() - 1)
        return -1;
    return dot;
}

QString joinComponents(const QStringList& parts, bool absolute) {
    const QString joined = parts.join(QLatin1Char('/'));
    if (absolute)
        return QLatin1Char('/') + joined;
    return joined;
}

bool exists(const QString& p) {
    struct stat st;
    return ::lstat(QFile::encodeName(p).constData(), &st) == 0;
}

// A name in `folder` that is not valid UTF-8 and reads as `name`.
bool holdsUndecodableName(const QByteArray& folder, const QString& name) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.constData()), ::closedir);
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray bytes(entry->d_name);
        const QString read = QFile::decodeName(bytes);
        if (read == name && read.toUtf8() != bytes)
            return true;
    }
    return false;
}

} // namespace

QString lastPathComponent(const QString& path) {
    return lastPathComponentView(path).toString();
}

QStringView lastPathComponentView(QStringView path) {
    const QStringView trimmed = trimmedTrailingSlashes(path);
    if (trimmed == u"/")
        return trimmed;
    return trimmed.sliced(trimmed.lastIndexOf(u'/') + 1);
}

QString pathExtension(const QString& path) {
    const QStringView trimmed = trimmedTrailingSlashes(path);
    const qsizetype dot = extensionDot(trimmed);
    if (dot < 0)
        return {};
    return trimmed.mid(dot + 1).toString();
}

QString deletingLastPathComponent(const QString& path) {
    const QStringView trimmed = trimmedTrailingSlashes(path);
    if (trimmed == u"/")
        return QStringLiteral("/");
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    if (slash < 0)
        return {};
    const QStringView parent = trimmedTrailingSlashes(trimmed.first(slash));
    if (parent.isEmpty())
        return QStringLiteral("/");
    return parent.toString();
}

QString deletingPathExtension(const QString& path) {
    const QStringView trimmed = trimmedTrailingSlashes(path);
    const qsizetype dot = extensionDot(trimmed);
    if (dot < 0)
        return trimmed.toString();
    return trimmed.first(dot).toString();
}

QString appendingPathComponent(const QString& path, const QString& component) {
    QString joined = path.isEmpty() ? component : path + QLatin1Char('/') + component;
    // Doubled slashes collapse; a trailing slash goes, unless the path is the root.
    QString result;
    result.reserve(joined.size());
    for (QChar c : joined) {
        if (c == u'/' && result.endsWith(QLatin1Char('/')))
            continue;
        result.append(c);
    }
    if (result.size() > 1 && result.endsWith(QLatin1Char('/')))
        result.chop(1);
    return result;
}

QString standardizingPath(const QString& path) {
    QString expanded = path;
    if (expanded == QLatin1String("~") || expanded.startsWith(QLatin1String("~/")))
        expanded = QDir::homePath() + expanded.mid(1);
    if (expanded.isEmpty())
        return expanded;
    const bool absolute = expanded.startsWith(QLatin1Char('/'));
    QStringList parts;
    for (const QString& piece : expanded.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (piece == QLatin1String("."))
            continue;
        // Above the root there is nothing; in relative paths ".." cannot be resolved and stays.
        if (piece == QLatin1String("..") && absolute) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(piece);
    }
    if (!absolute && parts.isEmpty())
        return expanded.startsWith(QLatin1Char('.')) ? QStringLiteral(".") : QString();
    return joinComponents(parts, absolute);
}

QString resolvingSymlinksInPath(const QString& path) {
    QString expanded = path;
    if (expanded == QLatin1String("~") || expanded.startsWith(QLatin1String("~/")))
        expanded = QDir::homePath() + expanded.mid(1);
    if (!expanded.startsWith(QLatin1Char('/')))
        return standardizingPath(expanded);
    // Links are resolved before ".." is applied: "/a/link/../b" goes to the link target's parent,
    // as the system itself would open it. The longest prefix the system can resolve is resolved
    // whole (it follows ".." physically); what lies beyond it does not exist and is joined as text.
    const QStringList parts = expanded.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype n = parts.size(); n > 0; --n) {
        const QString prefix = joinComponents(parts.first(n), true);
        if (!exists(prefix))
            continue;
        char buffer[PATH_MAX];
        if (::realpath(QFile::encodeName(prefix).constData(), buffer) == nullptr)
            continue;
        QString resolved = QFile::decodeName(buffer);
        for (const QString& rest : parts.sliced(n)) {
            if (rest == QLatin1String("."))
                continue;
            if (rest == QLatin1String(".."))
                resolved = deletingLastPathComponent(resolved);
            else
                resolved = appendingPathComponent(resolved, rest);
        }
        return resolved;
    }
    return standardizingPath(expanded);
}

bool containsNul(QStringView path) {
    return path.contains(QChar(u'\0'));
}

QString undecodableNameReason(const QString& path) {
    if (!path.startsWith(QLatin1Char('/')) || !path.contains(QChar::ReplacementCharacter))
        return {};
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QByteArray folder("/");
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray next = (folder == "/" ? folder : folder + '/') + QFile::encodeName(parts[i]);
        struct stat st {};
        if (::lstat(next.constData(), &st) == 0) {
            folder = next;
            continue;
        }
        if (!parts[i].contains(QChar::ReplacementCharacter) || !holdsUndecodableName(folder, parts[i]))
            return {};
        if (i == parts.size() - 1)
            return QStringLiteral("its name is not valid UTF-8 text");
        return QStringLiteral("the name of its folder “%1” is not valid UTF-8 text").arg(parts[i]);
    }
    return {};
}

} // namespace tarnwick::path
