#pragma once

#include "ui/common/ViewHelpers.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>

namespace tarnwick {

// The easy import's search of a folder for Premiere Pro projects. Runs on any thread.
struct EasyImportScan {
    static constexpr int progressInterval = 500;
    static const QString autoSaveFolderName; // "Adobe Premiere Pro Auto-Save"

    // Every .prproj (any letter case) under `folder`, hidden entries and package contents
    // skipped, none inside an auto-save folder (exact case), none whose URL is in `openProjects`.
    // Sorted by folder (stably, code-point order). `progress` gets "Scanning NAME..." first, then
    // "Scanned N items..." before entry N for N = 0, 500, 1000, ... counting every entry walked.
    static QList<DiscoveredProject> scan(const QString& folder, const QSet<QUrl>& openProjects,
                                         const std::function<void(const QString&)>& progress = {},
                                         const std::atomic_bool* cancel = nullptr);

    // The folders and their projects, folders by path and projects by file name (code-point order).
    static QList<DiscoveredProjectFolder> groups(const QList<DiscoveredProject>& projects);
};

} // namespace tarnwick
