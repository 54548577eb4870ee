// The tour's states that stage data of their own (a large library, a protected folder, a first
// launch) and put the window back as they found it.
#include "app/tour/ScreenshotTour.h"

#include "analysis/ProjectManager.h"
#include "app/tour/TourLibraries.h"
#include "ui/browser/StorageMapView.h"
#include "ui/common/Command.h"
#include "ui/tools/EasyImportSheet.h"
#include "ui/window/ContentView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace tarnwick {

using namespace tourLibraries;

namespace {

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
            manager()
                .edit(ProjectManager::ListChange::usage)
                .setProjects(m_savedProjects)
                .setMediaFiles(m_savedMedia)
                .setRecycleBin(m_savedBin);
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
