#include "ui/browser/BrowserViews.h"

#include "analysis/ProjectManagerFace.h"
#include "platform/PathText.h"
#include "ui/browser/FilterBar.h"
#include "ui/browser/MediaFileListView.h"
#include "ui/browser/StorageMapView.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/DesktopServices.h"
#include "ui/common/PresentationChain.h"
#include "ui/common/RevealAndCopy.h"
#include "ui/common/Sheet.h"
#include "ui/common/ViewHelpers.h"
#include "ui/preview/ThumbnailGenerator.h"
#include "ui/preview/ThumbnailProgressTracker.h"
#include "ui/scrub/MediaScrubView.h"

#include "ui/cleanup/CleanupOperations.h"
#include "ui/shell/ViewFactories.h"
#include "ui/shell/WindowRequests.h"

#include <QPointer>

#include <qcoro/qcorotask.h>

namespace tarnwick {
namespace {

MediaBrowserActions tableActions(const WindowContext& window, const BrowserServices& services) {
    ProjectManagerFace& manager = window.manager;
    CleanupOperations& operations = window.operations;
    MediaBrowserActions actions;
    actions.deleteSafetyConflicts = [&operations, &manager](const QList<MediaFile>& files) {
        return operations.conflictReasons(files, manager.mediaFiles());
    };
    actions.addToRecycleBin = [&operations, &manager](const QList<MediaFile>& files,
                                                      std::function<void()> staged) {
        operations.addToRecycleBin(manager.manager(), files, std::move(staged));
    };
    if (services.desktop) {
        // Where no file manager answers, the user is told where the file is, with its path to copy.
        actions.reveal = [desktop = services.desktop, view = QPointer<QWidget>(window.view),
                          &requests = window.presentations](const MediaFile& file) {
            std::weak_ptr<DesktopServices> weakDesktop = desktop;
            revealInFinder(*desktop, file, [view, &requests, weakDesktop](const QString& path) {
                if (!view)
                    return;
                requests.chain().request(
                    Presentation::noFileManager, [view, path, weakDesktop]() -> QDialog* {
                        if (!view)
                            return nullptr;
                        using Role = AlertButton::Role;
                        return AlertDialog::present(
                            view->window(), text(Presentation::noFileManager), noFileManagerMessage(path),
                            {{QStringLiteral("OK"), Role::cancel, {}},
                             {QStringLiteral("Copy Path"), Role::normal, [weakDesktop, path] {
                                  if (const auto desktop = weakDesktop.lock())
                                      desktop->copyText(path);
                              }}});
                    });
            });
        };
        actions.copyPaths = [desktop = services.desktop](const QList<MediaFile>& files) {
            copyPathsToClipboard(*desktop, files);
        };
    }
    actions.combine = [&manager](const QList<MediaFile>& files, std::function<void()> done) {
        QCoro::connect(manager.combineEntries(files, std::move(done)), &manager, [](bool) {});
    };
    actions.preview = [view = QPointer<QWidget>(window.view), loadImage = services.loadImage,
                       scrubView = services.scrubView](const MediaFile& file) {
        auto* content = new MediaPreviewView(file, loadImage, scrubView);
        Sheet* sheet = Sheet::present(view ? view->window() : nullptr, content);
        QObject::connect(content, &MediaPreviewView::dismissRequested, sheet, &QDialog::accept);
    };
    return actions;
}

QCoro::Task<void> requestThumbnail(MediaFile file, RequestToken token,
                                   std::function<void(const QImage&)> done) {
    const QString source = standingPath(file);
    const QSizeF size(32, 32);
    ThumbnailGenerator& generator = ThumbnailGenerator::shared();
    std::optional<QImage> image;
    if (mediaKindFromExtension(path::pathExtension(file.path)) == MediaKind::video) {
        auto task = generator.generateSmallThumbnail(source, size, token);
        image = co_await task;
    } else {
        auto task = generator.imageThumbnail(source, size, token);
        image = co_await task;
    }
    done(image.value_or(QImage()));
}

} // namespace

BrowserServices systemBrowserServices(std::shared_ptr<DesktopServices> desktop) {
    BrowserServices services;
    services.desktop = std::move(desktop);
    services.thumbnails = [](const MediaFile& file, RequestToken token,
                             std::function<void(const QImage&)> done) {
        switch (mediaKindFromExtension(path::pathExtension(file.path))) {
        case MediaKind::audio:
            // A drawn placeholder: no file is read for audio.
            done(ThumbnailGenerator::waveformPlaceholder(QSizeF(32, 32)));
            return true;
        case MediaKind::video:
        case MediaKind::image:
            requestThumbnail(file, std::move(token), std::move(done));
            return true;
        case MediaKind::other:
            break;
        }
        return false;
    };
    services.loadImage = [](QString path) { return ThumbnailGenerator::shared().loadImage(std::move(path)); };
    services.scrubView = createMediaScrubView;
    services.onThumbnailActivity = [](std::function<void(int)> apply) {
        ThumbnailProgressTracker& tracker = ThumbnailProgressTracker::shared();
        QObject::connect(&tracker, &ThumbnailProgressTracker::activeOperationsChanged, &tracker, apply);
        apply(tracker.activeOperations());
    };
    return services;
}

void installBrowserViews(ViewFactories& factories, BrowserServices services) {
    auto shared = std::make_shared<BrowserServices>(std::move(services));
    factories.filterBar = [](const WindowContext& window) { return new FilterBar(window.manager); };
    factories.storageMap = [](const WindowContext& window) {
        return new StorageMapView(window.manager, window.isolateProject);
    };
    factories.mediaTable = [shared](const WindowContext& window) {
        auto* store = shared->thumbnails ? new MediaThumbnailStore(shared->thumbnails) : nullptr;
        auto* table = new MediaFileListView(window.manager, tableActions(window, *shared), store);
        if (store)
            store->setParent(table);
        QSet<QUuid>& selection = window.selectedFiles;
        table->setSelectedFiles(selection);
        QObject::connect(table, &MediaFileListView::selectedFilesChanged, table,
                         [&selection](const QSet<QUuid>& ids) { selection = ids; });
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
