#pragma once

#include "analysis/ProjectImporter.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "stores/ProtectedFolders.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "stores/StatsManager.h"
#include "support/FakeFileStatusChecker.h"
#include "support/ProjectGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

namespace tarnwick::testing {

// A project manager for import tests: temporary stores and statistics, the real status check on
// stat(2) (or a fake), and a log capture. Nothing touches the user's files.
class ImportTestHarness {
public:
    explicit ImportTestHarness(bool fakeChecks = false)
        : prefs(dir.filePath(QStringLiteral("prefs.ini"))), policy(prefs),
          folders(dir.filePath(QStringLiteral("store"))),
          audit(dir.filePath(QStringLiteral("store")), nullptr),
          stats(dir.filePath(QStringLiteral("store"))) {
        ProjectManagerServices services;
        services.sequencePolicy = &policy;
        services.protectedFolders = &folders;
        services.statsManager = &stats;
        services.auditLog = &audit;
        if (fakeChecks) {
            checker = std::make_shared<FakeFileStatusChecker>();
            services.fileStatusChecker = checker;
        }
        services.statusOptions = [](bool ignoreFileExtension) {
            FileStatusChecking::Options options;
            options.ignoreFileExtension = ignoreFileExtension;
            return options;
        };
        services.isSandboxed = [this] { return sandboxed; };
        manager = std::make_unique<ProjectManager>(std::move(services));
        importServices.completionPause = std::chrono::milliseconds(0);
        importServices.proVideoFormatsInstalled = [this] { return formatsInstalled; };
        AppLog::setSink([this](const AppLog::Record& r) {
            QMutexLocker lock(&logMutex);
            log.append(r.message);
        });
    }
    ~ImportTestHarness() { AppLog::setSink({}); }

    ProjectManager& pm() { return *manager; }

    // A media file of `bytes` bytes under the temporary folder; returns its path.
    QString makeFile(const QString& relative, const QByteArray& bytes = QByteArray(64, 'x')) {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

    // A generated project at `relative` listing `media`, with `used` of them on timelines.
    QUrl makeProject(const QString& relative, const QStringList& media, double usedFraction = 1.0,
                     double audioOnlyFraction = 0.0) {
        ProjectGeneratorOptions options;
        options.mediaPaths = media;
        options.usedFraction = usedFraction;
        options.audioOnlyFraction = audioOnlyFraction;
        options.renamedFraction = 0;
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        ProjectGenerator::writeProject(path, ProjectGenerator::generate(options).xml);
        return QUrl::fromLocalFile(path);
    }

    void importNow(const QList<QUrl>& urls) {
        QCoro::waitFor(ProjectImporter::analyzeProjects(pm(), urls, importServices));
    }

    const MediaFile* entry(const QString& path) const {
        for (const MediaFile& f : manager->mediaFiles()) {
            if (f.path == path)
                return &f;
        }
        return nullptr;
    }

    bool logged(const QString& text) {
        QMutexLocker lock(&logMutex);
        return std::any_of(log.cbegin(), log.cend(),
                           [&](const QString& line) { return line.contains(text); });
    }
    // Messages as logged, after their emoji prefix.
    QStringList logLinesStartingWith(const QString& prefix) {
        QMutexLocker lock(&logMutex);
        QStringList lines;
        for (const QString& line : std::as_const(log)) {
            const qsizetype at = line.indexOf(prefix);
            if (at >= 0 && at <= 3)
                lines.append(line.mid(at));
        }
        return lines;
    }

    QTemporaryDir dir;
    Preferences prefs;
    SequenceUsagePolicyStore policy;
    ProtectedFolders folders;
    AuditLogManager audit;
    StatsManager stats;
    std::shared_ptr<FakeFileStatusChecker> checker;
    bool sandboxed = false;
    bool formatsInstalled = true;
    std::unique_ptr<ProjectManager> manager;
    ProjectImporter::Services importServices;
    QMutex logMutex;
    QStringList log;
};

// Lets queued calls and resumed coroutines run until `done` holds (or a generous deadline passes).
template <class Predicate> bool spinUntil(Predicate done, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace tarnwick::testing
