#pragma once

#include <QString>

// Path text rules with the semantics the rest of the system expects (not QFileInfo's):
// trailing slashes are ignored, ".hidden" has no extension, "name." has none either.
namespace tarnwick::path {

QString lastPathComponent(const QString& path);
// The same without a copy: a view into `path`.
QStringView lastPathComponentView(QStringView path);
QString pathExtension(const QString& path);
QString deletingLastPathComponent(const QString& path);
QString deletingPathExtension(const QString& path);
QString appendingPathComponent(const QString& path, const QString& component);
// Expands "~", removes "." and "..", doubled and trailing slashes (text only, no disk access).
QString standardizingPath(const QString& path);
// Standardizes, then resolves symbolic links of the longest existing prefix.
QString resolvingSymlinksInPath(const QString& path);
// Whether the path holds a NUL character: the system would act on the text before it, so such a
// path is never plausible and nothing may be done with it.
bool containsNul(QStringView path);
// Why `path` reaches nothing although the disk holds what it was read from: a name that is not
// valid UTF-8 reads back with U+FFFD in place of its odd bytes, and that text names nothing. Empty
// when that is not the case.
QString undecodableNameReason(const QString& path);

} // namespace tarnwick::path
