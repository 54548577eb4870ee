#include "ui/browser/BrowserViews.h"

#include "analysis/ProjectManager.h"
#include "ui/Sheet.h"
#include "ui/browser/FilterBar.h"
#include "ui/browser/MediaFileListView.h"
#include "ui/browser/StorageMapView.h"
#include "ui/common/RevealAndCopy.h"
#include "ui/window/CleanupOperations.h"
#include "ui/window/ContentView.h"
#include "ui/window/ViewFactories.h"

#include <QPointer>

#include <qcoro/qcorotask.h>

namespace tarnwick {
namespace {

MediaBrowserActions tableActions(ContentView& window, const BrowserServices& services) {
    ProjectManager& manager = window.manager();
    MediaBrowserActions actions;
    actions.deleteSafetyConflicts = [&window, &manager](const QList<MediaFile>& files) {
        QStringList reasons;
        for (const auto& conflict :
             window.operations().findDeleteSafetyConflicts(files, manager.mediaFiles()))
            reasons.append(conflict.reason);
        return reasons;
    };
    actions.addToRecycleBin = [&window, &manager](const QList<MediaFile>& files) {
        window.operations().addToRecycleBin(manager, files);
    };
    if (services.desktop) {
        actions.reveal = [desktop = services.desktop](const MediaFile& file) {
            revealInFinder(*desktop, file);
        };
        actions.copyPaths = [desktop = services.desktop](const QList<MediaFile>& files) {
            copyPathsToClipboard(*desktop, files);
        };
    }
    actions.combine = [&manager](const QList<MediaFile>& files) {
        QCoro::connect(manager.combineEntries(files), &manager, [](bool) {});
    };
    actions.preview = [&window, loadImage = services.loadImage,
                       scrubView = services.scrubView](const MediaFile& file) {
        auto* content = new MediaPreviewView(file, loadImage, scrubView);
        Sheet* sheet = Sheet::present(window.window(), content);
        QObject::connect(content, &MediaPreviewView::dismissRequested, sheet, &QDialog::accept);
    };
    return actions;
}

} // namespace

void installBrowserViews(ViewFactories& factories, BrowserServices services) {
    auto shared = std::make_shared<BrowserServices>(std::move(services));
    factories.filterBar = [](ContentView& window) { return new FilterBar(window.manager()); };
    factories.storageMap = [](ContentView& window) {
        QPointer<ContentView> target(&window);
        return new StorageMapView(window.manager(), [target](const QUuid& id) {
            if (target)
                target->isolateProject(id);
        });
    };
    factories.mediaTable = [shared](ContentView& window) {
        auto* store = shared->thumbnails ? new MediaThumbnailStore(shared->thumbnails) : nullptr;
        auto* table = new MediaFileListView(window.manager(), tableActions(window, *shared), store);
        if (store)
            store->setParent(table);
        table->setSelectedFiles(window.selectedFiles());
        QObject::connect(table, &MediaFileListView::selectedFilesChanged, &window,
                         [&window](const QSet<QUuid>& ids) { window.selectedFiles() = ids; });
        if (shared->onThumbnailActivity) {
            QPointer<MediaFileListView> guard(table);
            shared->onThumbnailActivity([guard](int count) {
                if (guard)
                    guard->setThumbnailActivity(count);
            });
        }
        return table;
    };
}

} // namespace tarnwick
