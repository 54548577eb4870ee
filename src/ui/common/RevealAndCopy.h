#pragma once

#include "model/MediaFile.h"

#include <QList>

#include <functional>

namespace tarnwick {

class DesktopServices;

// The media table's reveal and copy-path actions.

// Shows the file where it is now (matchedPath when relocated, else path) in the file manager.
// `failed` is called with that path when no file manager could show it.
void revealInFinder(DesktopServices& desktop, const MediaFile& file,
                    std::function<void(const QString& path)> failed = {});
// What the user is told when no file manager could show `path`.
QString noFileManagerMessage(const QString& path);

// Puts every file's path (never matchedPath), one per line, without a final line feed, on the
// clipboard; an empty list clears it to an empty text.
void copyPathsToClipboard(DesktopServices& desktop, const QList<MediaFile>& files);

} // namespace tarnwick
