#pragma once

#include <QStringList>

namespace tarnwick {

// How clean-up treats files: the folders whose media is never removed (as the protected folders
// store holds them) and whether a removal leaves a receipt file in each directory it touched.
struct CleanupOptions {
    QStringList protectedFolders;
    bool writeTraceFiles = false;

    friend bool operator==(const CleanupOptions&, const CleanupOptions&) = default;
};

} // namespace tarnwick
