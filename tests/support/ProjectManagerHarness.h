#pragma once

#include "analysis/ProjectManager.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "stores/ProtectedFolders.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "stores/StatsManager.h"
#include "support/FakeFileStatusChecker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>
#include <initializer_list>
#include <memory>

namespace tarnwick::testing {

// A project manager on temporary stores with a fake status check; nothing touches the user's files.
class ProjectManagerHarness {
public:
    // `adjust` changes the services before the manager is made.
    explicit ProjectManagerHarness(const std::function<void(ProjectManagerServices&)>& adjust = {})
        : prefs(dir.filePath(QStringLiteral("prefs.ini"))), policy(prefs),
          folders(dir.filePath(QStringLiteral("store"))),
          audit(dir.filePath(QStringLiteral("store")), nullptr), stats(dir.filePath(QStringLiteral("store"))),
          checker(std::make_shared<FakeFileStatusChecker>()) {
        ProjectManagerServices services;
        services.sequencePolicy = &policy;
        services.protectedFolders = &folders;
        services.auditLog = &audit;
        services.statsManager = &stats;
        services.fileStatusChecker = checker;
        services.statusOptions = [](bool ignoreFileExtension) {
            FileStatusChecking::Options options;
            options.ignoreFileExtension = ignoreFileExtension;
            return options;
        };
        services.isSandboxed = [this] { return sandboxed; };
        if (adjust)
            adjust(services);
        manager = std::make_unique<ProjectManager>(std::move(services));
    }

    ProjectManager& pm() { return *manager; }

    QTemporaryDir dir;
    Preferences prefs;
    SequenceUsagePolicyStore policy;
    ProtectedFolders folders;
    AuditLogManager audit;
    StatsManager stats;
    std::shared_ptr<FakeFileStatusChecker> checker;
    bool sandboxed = false;
    std::unique_ptr<ProjectManager> manager;
};

// Lets queued notifications and resumed coroutines run.
inline void drainEvents() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

inline MediaFile media(const QString& path, int usageCount = 0,
                       MediaFileStatus status = MediaFileStatus::online, qint64 size = 0) {
    MediaFile file;
    file.path = path;
    file.lastKnownPath = path;
    file.usageCount = usageCount;
    file.usageType = usageCount > 0 ? MediaUsageType::videoAndAudio : MediaUsageType::unused;
    file.status = status;
    file.size = size;
    return file;
}

// A project that lists `paths` and uses `used` once each, without timeline attribution.
inline ProjectFile project(const QString& name, std::initializer_list<const char*> paths,
                           std::initializer_list<const char*> used = {}) {
    ProjectFile p;
    p.name = name;
    p.url = QUrl::fromLocalFile(QStringLiteral("/projects/") + name + QStringLiteral(".prproj"));
    for (const char* path : paths)
        p.mediaFiles.append(QString::fromUtf8(path));
    for (const char* path : used) {
        p.usedFiles.append(QString::fromUtf8(path));
        p.usageCountByPath.insert(QString::fromUtf8(path), 1);
    }
    return p;
}

inline RecycleBinItem binItem(const MediaFile& file) {
    RecycleBinItem item;
    item.mediaFile = file;
    return item;
}

} // namespace tarnwick::testing
