#pragma once

#include "analysis/AEPParseRequests.h"
#include "model/AEPLinkStatus.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <functional>
#include <memory>

namespace tarnwick {

class ProjectManager;

struct AfterEffectsLinkingServices {
    // Null: a new AEPParser per parse.
    AEPParseFunction parse;
    int maxConcurrentParses = AEPParseRequests::maxConcurrentParses;
};

// Links the After Effects projects that imported projects reference: finds .aep files near the
// projects, reconnects moved ones by name, parses each distinct file once (at most two at a time,
// answered from the manager's parse cache while size and date are unchanged), records every link
// state in the manager, marks the footage they use and flags the media of projects whose After
// Effects project is missing. Also the user's search of a folder for the missing projects.
class AfterEffectsLinking {
public:
    using Services = AfterEffectsLinkingServices;

    static constexpr int relocationMaxDepth = 2;
    static constexpr qint64 relocationFileCap = 100000;

    // The import's stage: changes `mediaFiles` (the list the import is building) in place, and the
    // manager's link statuses and parse cache. Never fails; problems are logged and recorded.
    static QCoro::Task<void> linkAEPProjects(ProjectManager& manager, QList<MediaFile>& mediaFiles,
                                             Services services = {});

    // Marks the entries that the footage paths name (by path, matched or alternative path, else by
    // file name) as used in After Effects. Paths are handled in sorted order.
    static void crossReferenceAEFootage(QList<MediaFile>& mediaFiles, const QSet<QString>& footagePaths);
    // Flags the unused media listed by each project that links a missing or unreadable .aep (the
    // project known by its own list of files, not by its name, which other projects may share).
    static void flagMediaOfProjectsWithMissingAEP(QList<MediaFile>& mediaFiles,
                                                  const QList<ProjectFile>& projects,
                                                  const QHash<QString, AEPLinkStatus>& linkStatuses);

    // Searches `folder` for the missing and unreadable linked projects (by file name), parses the
    // ones that match and resolves their links; returns how many links were resolved. Waits for
    // the manager's other operations and holds it for the whole run. `progress` is called on the
    // GUI thread; `cancel` stops the walk and the parsing between files.
    static QCoro::Task<int> searchForMissingAEPFiles(ProjectManager& manager, QString folder,
                                                     std::function<void(const QString&)> progress,
                                                     std::shared_ptr<const std::atomic_bool> cancel = {},
                                                     Services services = {});

    // Takes out of the recycle bin every item whose entry is used or After Effects footage, setting
    // such entries back online. Returns how many items left the bin.
    static int unstageUsedFootage(ProjectManager& manager);
};

} // namespace tarnwick
