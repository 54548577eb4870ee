#pragma once

#include "analysis/AfterEffectsLinking.h"
#include "analysis/DuplicateDetectionCore.h"
#include "analysis/ParallelProjectParse.h"
#include "model/MediaFile.h"
#include "readers/ProjectParser.h"

#include <QList>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>

namespace tarnwick {

class ProjectManager;

// Imports Premiere Pro projects into a project manager: reads them in parallel, aggregates their
// usage with the media already known, checks new files on disk, links After Effects projects,
// consolidates, finds duplicates and similar names, recounts, summarises and raises the prompts.
// One import runs at a time: a second waits for the first (and for any other running operation).
class ProjectImporter {
public:
    // The After Effects linking stage: changes the list being built in place.
    using AfterEffectsLinkingStage =
        std::function<QCoro::Task<void>(ProjectManager& manager, QList<MediaFile>& media)>;

    struct Services {
        // Reads one project on a worker thread; null: a ProjectParser of its own per project.
        ParallelProjectParse::ParseFunction parse;
        // How many processors the machine reports; null: the machine's.
        std::function<int()> processorCount;
        // Null: AfterEffectsLinking::linkAEPProjects with `afterEffects`.
        AfterEffectsLinkingStage linkAfterEffects;
        AfterEffectsLinking::Services afterEffects;
        // Whether the professional video formats are installed; null: the platform predicate.
        std::function<bool()> proVideoFormatsInstalled;
        // "Analysis complete" stays on screen this long.
        std::chrono::milliseconds completionPause{500};
        DuplicateDetectionCore::Settings duplicateSettings;
    };

    // Never fails: a project that cannot be read becomes a project with its parse error.
    static QCoro::Task<void> analyzeProjects(ProjectManager& manager, QList<QUrl> urls, Services services);
    static QCoro::Task<void> analyzeProjects(ProjectManager& manager, QList<QUrl> urls);

    // Reads one project with a ProjectParser of its own (the default parse function).
    static ParsedProject parseWithProjectParser(const QUrl& url,
                                                const ParallelProjectParse::Progress& progress);
    // The project record of a reader's result.
    static ParsedProject parsedProject(const QUrl& url, const ProjectParser::ParseResult& result);
    // The project record of a file that could not be read.
    static ProjectFile failedProject(const QUrl& url, const QString& error);

    // The location as imports compare it: standardized, symbolic links resolved, lower-cased.
    static QString importKey(const QUrl& url);
};

} // namespace tarnwick
