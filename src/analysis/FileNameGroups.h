#pragma once

#include "model/MediaFile.h"

#include <QList>
#include <QStringView>

#include <functional>
#include <vector>

namespace tarnwick {

// The entries of a media list that carry one file name (the last path component, letter case
// ignored as text::lowered ignores it). The names are hashed on a few threads and sorted by hash,
// so no table of every name is built; entries of one hash are told apart by their text.
class FileNameGroups {
public:
    using Group = std::vector<qsizetype>;
    // A 64-bit hash of a lower-cased name.
    using NameHash = quint64 (*)(QStringView lowered);

    // The groups of two or more positions, each ascending, in the order of their first positions.
    // With `seed`, only names that at least one entry satisfying it carries. `hash` replaces the
    // default hash (tests force collisions with it).
    static std::vector<Group> of(const QList<MediaFile>& files,
                                 const std::function<bool(const MediaFile&)>& seed = {},
                                 NameHash hash = nullptr);

    static quint64 defaultHash(QStringView lowered);
};

} // namespace tarnwick
