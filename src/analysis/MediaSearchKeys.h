#pragma once

#include "model/MediaFile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace tarnwick {

// What a search compares, for every row of one version of the media list: the lower-cased file
// names end to end (row i's from nameStart[i] to nameStart[i + 1]: one pass reads them in
// sequence), and the lower-cased folder as an index into `folders` (many files share a folder).
// Made on any thread.
struct MediaSearchKeys {
    QString names;
    std::vector<qsizetype> nameStart;
    std::vector<qint32> folderOfRow;
    QStringList folders;

    static MediaSearchKeys make(const QList<MediaFile>& files);
    qsizetype size() const { return qsizetype(folderOfRow.size()); }
};

} // namespace tarnwick
