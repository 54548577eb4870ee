#include "ui/cards/CardViews.h"

#include "analysis/ProjectManagerFace.h"
#include "ui/cards/CardStill.h"
#include "ui/cards/ClipCardsView.h"
#include "ui/cleanup/CleanupOperations.h"
#include "ui/preview/ThumbnailGenerator.h"
#include "ui/shell/ViewFactories.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

namespace tarnwick {

CardStillLoader cardStillLoader(ThumbnailGenerator& generator) {
    QPointer<ThumbnailGenerator> target(&generator);
    return [target](QString path, QSize bound) -> QCoro::Task<std::optional<QImage>> {
        if (!target)
            co_return std::nullopt;
        const auto& open = target->services().openPath;
        const QString openPath = open ? open(path) : path;
        QFuture<std::optional<QImage>> reading = QtConcurrent::run(
            &target->decodingPool(), [openPath, bound] { return readCardStill(openPath, bound); });
        co_return co_await reading;
    };
}

void installCardViews(ViewFactories& factories, ThumbnailGenerator& generator) {
    factories.clipCards = [loader = cardStillLoader(generator)](const WindowContext& window) {
        ProjectManagerFace& manager = window.manager;
        CleanupOperations& operations = window.operations;
        ClipCardsActions actions;
        actions.deleteSafetyConflicts = [&operations, &manager](const QList<MediaFile>& files) {
            return operations.conflictReasons(files, manager.mediaFiles());
        };
        actions.addToRecycleBin = [&operations, &manager](const QList<MediaFile>& files,
                                                          std::function<void()> staged) {
            operations.addToRecycleBin(manager.manager(), files, std::move(staged));
        };
        auto* view = new ClipCardsView(manager, std::move(actions), loader);
        QSet<QUuid>& selection = window.selectedFiles;
        view->setSelection(selection);
        view->setSelectionSource([&selection] { return selection; });
        QObject::connect(view, &ClipCardsView::selectionChanged, view,
                         [&selection](const QSet<QUuid>& ids) { selection = ids; });
        return view;
    };
}

} // namespace tarnwick
