// The tour's states that stage data of their own (a large library, a protected folder, a first
// launch) and put the window back as they found it.
#include "app/tour/ScreenshotTour.h"

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
// projects.
void addSeries(QList<ProjectFile>& projects, QList<MediaFile>& files) {
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
}

// What a parse records of a used file: the project's usage of it (the sidebar counts these).
void recordUse(ProjectFile& project, const MediaFile& file) {
    if (file.usageCount < 1)
        return;
    project.usedFiles.append(file.path);
    project.usageCountByPath.insert(file.path, file.usageCount);
}

// The staged projects say which files they use, and the files' counts follow from them as after
// an import; the bin stays empty (its files belong to the library staged over).
void stage(ProjectManager& manager, QList<ProjectFile> projects, const QList<MediaFile>& files) {
    for (ProjectFile& project : projects)
        for (const MediaFile& file : files)
            if (file.projectNames.contains(project.name))
                recordUse(project, file);
    manager.setRecycleBin({});
    manager.setProjects(std::move(projects));
    manager.setMediaFiles(files);
    manager.recomputeUsageCounts();
}

// One project of camera clips with long names.
void addCameraOriginals(QList<ProjectFile>& projects, QList<MediaFile>& files) {
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
}

void stageLargeLibrary(ProjectManager& manager) {
    QList<ProjectFile> projects;
    QList<MediaFile> files;
    addSeries(projects, files);
    addCameraOriginals(projects, files);
    stage(manager, projects, files);
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
    stage(manager, projects, files);
}

// Project files with long folder and file names below `root`; returns the scanned folder's path.
QString writeLongNamedProjects(const QDir& root) {
    const QString scanned = QStringLiteral("Harbour Promo Campaign 2024 Client Deliverables and Archive");
    const QStringList files{
        scanned + QStringLiteral("/Editorial/Project Files/Director's Cut/Harbour Promo Campaign Master "
                                 "Edit Director's Cut v12 FINAL approved.prproj"),
        scanned + QStringLiteral("/Editorial/Project Files/Director's Cut/Social Cutdowns.prproj"),
        scanned + QStringLiteral("/Editorial/Project Files/Assembly/Harbour Promo Assembly Day 1 to Day 4 "
                                 "selects and string-outs.prproj")};
    for (const QString& file : files) {
        root.mkpath(QFileInfo(root.filePath(file)).path());
        QFile project(root.filePath(file));
        if (project.open(QIODevice::WriteOnly))
            project.write("demo");
    }
    return root.filePath(scanned);
}

} // namespace

// The project filter with its chip.
void ScreenshotTour::projectFilter() {
    m_steps << act(
                   [this] {
                       view().setDetailViewMode(DetailViewMode::table);
                       if (!manager().projects().isEmpty())
                           manager().updateFilters([&](FilterSettings& filters) {
                               filters.selectedProjectIDs = {manager().projects().first().id};
                           });
                   },
                   600)
            << shot(QStringLiteral("imported-project-filter"));
    m_steps << act(
        [this] { manager().updateFilters([](FilterSettings& filters) { filters.selectedProjectIDs = {}; }); },
        300);
}

void ScreenshotTour::protectedFolderRows() {
    m_steps << act(
                   [this] {
                       m_savedProtectedFolders = manager().options().protectedFolders;
                       manager().updateOptions([](CleanupOptions& options) {
                           options.protectedFolders = {
                               QStringLiteral("/media/editor/Library/Music"),
                               QStringLiteral(
                                   "/media/editor/Shoot 2024 Harbour Promo/Client Deliverables/Masters")};
                       });
                       view().handleCommand(Command::manageProtectedFolders);
                   },
                   500)
            << [this] {
                   shoot(QStringLiteral("sheet-protected-folders-rows"));
                   closeDialogs();
                   manager().updateOptions(
                       [&](CleanupOptions& options) { options.protectedFolders = m_savedProtectedFolders; });
                   after(300, [this] { next(); });
               };
}

// Easy import over long folder and file names: headers keep their end, names their own line.
void ScreenshotTour::easyImportLongNames() {
    m_steps << [this] {
        m_scratch = std::make_unique<QTemporaryDir>();
        const QString scanned = writeLongNamedProjects(QDir(m_scratch->path()));
        view().handleCommand(Command::easyImport);
        after(500, [this, scanned] {
            if (auto* sheet = findSheet<EasyImportSheet>())
                sheet->startScan(scanned);
            after(1500, [this] { next(); });
        });
    } << shotAndClose(QStringLiteral("sheet-easy-import-long-names"));
}

// The storage map of a large library: every project a tile, a shared file noted in the header.
void ScreenshotTour::largeLibraryMap() {
    m_steps << act(
                   [this] {
                       m_savedProjects = manager().projects();
                       m_savedMedia = manager().mediaFiles();
                       m_savedBin = manager().recycleBin();
                       stageLargeLibrary(manager());
                       view().setDetailViewMode(DetailViewMode::map);
                   },
                   800)
            << shot(QStringLiteral("map-200-projects"));
}

// A long tail: the projects too small to read merge into one tile that opens onto them.
void ScreenshotTour::mergedTile() {
    m_steps << act([this] { stageLongTailLibrary(manager()); }, 800)
            << shot(QStringLiteral("map-merged-tile"));
}

void ScreenshotTour::mergedTileOpened() {
    m_steps << act(
                   [this] {
                       auto* map = view().findChild<StorageMapView*>();
                       for (int i = 0; map && i < map->tiles().size(); ++i) {
                           if (!map->tiles()[i].item.mergedPayloads.isEmpty()) {
                               map->clickTile(i);
                               break;
                           }
                       }
                   },
                   500)
            << shot(QStringLiteral("map-merged-opened"));
}

void ScreenshotTour::clipNames() {
    m_steps << act(
                   [this] {
                       stageLargeLibrary(manager());
                       if (auto* map = view().findChild<StorageMapView*>()) {
                           map->drillOut();
                           map->drillInto(QStringLiteral("Harbour Promo Camera Originals"));
                       }
                   },
                   600)
            << shot(QStringLiteral("map-clip-names"));
}

void ScreenshotTour::restoreLibrary() {
    m_steps << act(
        [this] {
            view().setDetailViewMode(DetailViewMode::table);
            manager().setProjects(m_savedProjects);
            manager().setMediaFiles(m_savedMedia);
            manager().recomputeUsageCounts();
            manager().setRecycleBin(m_savedBin);
            manager().updateSummary();
        },
        800);
}

// A first launch with projects on the command line: the import's prompts wait for the guide.
void ScreenshotTour::firstLaunch() {
    if (m_projects.isEmpty())
        return;
    m_steps << [this] {
        (void)manager().clearAll();
        manager().updatePrompts([](PromptState& prompts) {
            prompts.hasPromptedForScan = false;
            prompts.hasPromptedForMissingAEP = false;
        });
        view().setHasCompletedWelcome(false);
        connect(
            &view(), &ContentView::importFinished, this, [this] { after(1500, [this] { next(); }); },
            Qt::SingleShotConnection);
        view().handleDrop(m_projects);
    } << shot(QStringLiteral("first-launch-welcome"));
    m_steps << act([this] { view().setHasCompletedWelcome(true); }, 800)
            << shotAndClose(QStringLiteral("first-launch-after-welcome"));
}

} // namespace tarnwick
