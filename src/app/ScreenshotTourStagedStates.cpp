// The tour's states that stage data of their own (a large library, a protected folder, a first
// launch) and put the window back as they found it.
#include "app/ScreenshotTour.h"

#include "analysis/ProjectManager.h"
#include "ui/browser/StorageMapView.h"
#include "ui/common/Command.h"
#include "ui/tools/EasyImportSheet.h"
#include "ui/window/ContentView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace tarnwick {

namespace {

// Two hundred projects of similar size over a shared drive: every tenth file is used by two
// projects. One more project holds camera clips with long names.
void stageLargeLibrary(ProjectManager& manager) {
    QList<ProjectFile> projects;
    QList<MediaFile> files;
    for (int p = 0; p < 200; ++p) {
        ProjectFile project;
        project.name = QStringLiteral("Episode %1").arg(p + 1, 3, 10, QLatin1Char('0'));
        project.url = QUrl::fromLocalFile(QStringLiteral("/media/editor/Series/%1.prproj").arg(project.name));
        projects.append(project);
        for (int f = 0; f < 6; ++f) {
            MediaFile file;
            file.path = QStringLiteral("/media/editor/Series/%1/A%2_C%3.mov")
                            .arg(project.name)
                            .arg(p % 9 + 1, 3, 10, QLatin1Char('0'))
                            .arg(f + 1, 3, 10, QLatin1Char('0'));
            file.size = 52'000'000'000 + qint64((p * 7 + f * 3) % 11) * 1'300'000'000;
            file.status = MediaFileStatus::online;
            file.usageCount = (p + f) % 3 == 0 ? 0 : 1;
            file.projectNames = {project.name};
            if (f == 0 && p % 10 == 0 && p > 0) {
                file.projectNames.append(projects[p - 1].name);
                projects[p - 1].mediaFiles.append(file.path);
            }
            projects[p].mediaFiles.append(file.path);
            files.append(file);
        }
    }
    ProjectFile camera;
    camera.name = QStringLiteral("Harbour Promo Camera Originals");
    QStringList names{QStringLiteral("Interview Camera A Wide Shot Take 12.mov"),
                      QStringLiteral("A001_C002_0519XY_take2.mov"),
                      QStringLiteral("Drone_Harbour_Sunrise_4K_HDR_graded_v3.mov"),
                      QStringLiteral("Broll Market Stalls.mov")};
    for (int i = 40; i < 76; ++i)
        names.append(QStringLiteral("B1384_C%1.mp4").arg(i, 3, 10, QLatin1Char('0')));
    for (int i = 0; i < names.size(); ++i) {
        MediaFile file;
        file.path = QStringLiteral("/media/editor/Harbour/Camera/") + names[i];
        file.size = 9'000'000'000 - qint64(i) * 110'000'000;
        file.status = MediaFileStatus::online;
        file.usageCount = i % 2;
        file.projectNames = {camera.name};
        camera.mediaFiles.append(file.path);
        files.append(file);
    }
    projects.append(camera);
    manager.setProjects(projects);
    manager.setMediaFiles(files);
    manager.updateSummary();
}

// A feature, a dozen spots and a long tail of small jobs: the tail is too small to read.
void stageLongTailLibrary(ProjectManager& manager) {
    QList<ProjectFile> projects;
    QList<MediaFile> files;
    auto add = [&](const QString& name, qint64 size, int usage) {
        ProjectFile project;
        project.name = name;
        projects.append(project);
        MediaFile file;
        file.path = QStringLiteral("/media/editor/Jobs/%1/A001_C001.mov").arg(name);
        projects.last().mediaFiles.append(file.path);
        file.size = size;
        file.status = MediaFileStatus::online;
        file.usageCount = usage;
        file.projectNames = {name};
        files.append(file);
    };
    add(QStringLiteral("Harbour Feature"), 9'200'000'000'000, 1);
    for (int i = 1; i <= 12; ++i)
        add(QStringLiteral("Spot %1").arg(i, 2, 10, QLatin1Char('0')),
            420'000'000'000 - qint64(i) * 9'000'000'000, i % 2);
    for (int i = 1; i <= 60; ++i)
        add(QStringLiteral("Social Cut %1").arg(i, 2, 10, QLatin1Char('0')),
            6'000'000'000 + qint64(i) * 90'000'000, i % 3 ? 1 : 0);
    manager.setProjects(projects);
    manager.setMediaFiles(files);
    manager.updateSummary();
}

} // namespace

void ScreenshotTour::addStagedStates(ContentView* view) {
    ProjectManager& pm = view->manager();
    auto shootStep = [this](const QString& name) {
        return [this, name] {
            shoot(name);
            next();
        };
    };

    // The project filter with its chip.
    m_steps << [this, view, &pm] {
        view->setDetailViewMode(DetailViewMode::table);
        if (!pm.projects().isEmpty())
            pm.setSelectedProjectIDs({pm.projects().first().id});
        after(600, [this] { next(); });
    } << shootStep(QStringLiteral("imported-project-filter"));
    m_steps << [this, &pm] {
        pm.setSelectedProjectIDs({});
        after(300, [this] { next(); });
    };

    // Protected folders with rows.
    m_steps << [this, view, &pm] {
        m_savedProtectedFolders = pm.protectedFolders();
        pm.setProtectedFolders(
            {QStringLiteral("/media/editor/Library/Music"),
             QStringLiteral("/media/editor/Shoot 2024 Harbour Promo/Client Deliverables/Masters")});
        view->handleCommand(Command::manageProtectedFolders);
        after(500, [this] { next(); });
    } << [this, &pm] {
        shoot(QStringLiteral("sheet-protected-folders-rows"));
        closeDialogs();
        pm.setProtectedFolders(m_savedProtectedFolders);
        after(300, [this] { next(); });
    };

    // Easy import over long folder and file names: headers keep their end, names their own line.
    m_steps << [this, view] {
        m_scratch = std::make_unique<QTemporaryDir>();
        const QDir root(m_scratch->path());
        const QString scanned = QStringLiteral("Harbour Promo Campaign 2024 Client Deliverables and Archive");
        const QStringList files{
            scanned + QStringLiteral("/Editorial/Project Files/Director's Cut/Harbour Promo Campaign Master "
                                     "Edit Director's Cut v12 FINAL approved.prproj"),
            scanned + QStringLiteral("/Editorial/Project Files/Director's Cut/Social Cutdowns.prproj"),
            scanned +
                QStringLiteral("/Editorial/Project Files/Assembly/Harbour Promo Assembly Day 1 to Day 4 "
                               "selects and string-outs.prproj")};
        for (const QString& file : files) {
            root.mkpath(QFileInfo(root.filePath(file)).path());
            QFile project(root.filePath(file));
            if (project.open(QIODevice::WriteOnly))
                project.write("demo");
        }
        view->handleCommand(Command::easyImport);
        after(500, [this, scanned] {
            if (auto* sheet = findSheet<EasyImportSheet>())
                sheet->startScan(m_scratch->filePath(scanned));
            after(1500, [this] { next(); });
        });
    } << [this] {
        shoot(QStringLiteral("sheet-easy-import-long-names"));
        closeDialogs();
        after(300, [this] { next(); });
    };

    // The storage map of a large library: every project a tile, a shared file noted in the header.
    m_steps << [this, view, &pm] {
        m_savedProjects = pm.projects();
        m_savedMedia = pm.mediaFiles();
        stageLargeLibrary(pm);
        view->setDetailViewMode(DetailViewMode::map);
        after(800, [this] { next(); });
    } << shootStep(QStringLiteral("map-200-projects"));
    // A long tail: the projects too small to read merge into one tile that opens onto them.
    m_steps << [this, &pm] {
        stageLongTailLibrary(pm);
        after(800, [this] { next(); });
    } << shootStep(QStringLiteral("map-merged-tile"));
    m_steps << [this, view] {
        if (auto* map = view->findChild<StorageMapView*>()) {
            for (int i = 0; i < map->tiles().size(); ++i) {
                if (!map->tiles()[i].item.mergedPayloads.isEmpty()) {
                    map->clickTile(i);
                    break;
                }
            }
        }
        after(500, [this] { next(); });
    } << shootStep(QStringLiteral("map-merged-opened"));
    m_steps << [this, view, &pm] {
        stageLargeLibrary(pm);
        if (auto* map = view->findChild<StorageMapView*>()) {
            map->drillOut();
            map->drillInto(QStringLiteral("Harbour Promo Camera Originals"));
        }
        after(600, [this] { next(); });
    } << shootStep(QStringLiteral("map-clip-names"));
    m_steps << [this, view, &pm] {
        view->setDetailViewMode(DetailViewMode::table);
        pm.setProjects(m_savedProjects);
        pm.setMediaFiles(m_savedMedia);
        pm.updateSummary();
        after(800, [this] { next(); });
    };

    // A first launch with projects on the command line: the import's prompts wait for the guide.
    if (m_projects.isEmpty())
        return;
    m_steps << [this, view, &pm] {
        (void)pm.clearAll();
        pm.setHasPromptedForScan(false);
        pm.setHasPromptedForMissingAEP(false);
        view->setHasCompletedWelcome(false);
        connect(
            view, &ContentView::importFinished, this, [this] { after(1500, [this] { next(); }); },
            Qt::SingleShotConnection);
        view->handleDrop(m_projects);
    } << shootStep(QStringLiteral("first-launch-welcome"));
    m_steps << [this, view] {
        view->setHasCompletedWelcome(true);
        after(800, [this] { next(); });
    } << [this] {
        shoot(QStringLiteral("first-launch-after-welcome"));
        closeDialogs();
        after(300, [this] { next(); });
    };
}

} // namespace tarnwick
