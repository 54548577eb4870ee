#pragma once

#include <QString>

namespace tarnwick {

// One accepted clip row of a DaVinci Resolve metadata CSV.
struct ResolveCSVRow {
    QString fileName;      // "File Name" cell, trimmed
    QString clipDirectory; // "Clip Directory" cell, trimmed

    // The directory without trailing slashes joined with the file name. A directory of slashes only
    // is the root, so the result is never a relative path.
    QString fullPath() const;

    bool operator==(const ResolveCSVRow&) const = default;
};

} // namespace tarnwick
