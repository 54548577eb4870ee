#include "ui/bin/BinViews.h"

#include "ui/bin/BinOverlays.h"
#include "ui/bin/BinSheets.h"
#include "ui/bin/RecycleBinView.h"
#include "ui/shell/ViewFactories.h"
#include "ui/shell/WindowRequests.h"

namespace tarnwick {

void installBinViews(ViewFactories& f) {
    f.recycleBin = [](const WindowContext& c) {
        WindowRequests* p = &c.presentations;
        return new RecycleBinView(c.manager, c.selectedRecycleBinItems,
                                  {[p] { p->confirmMoveToTrash(); }, [p] { p->chooseBinMoveFolder(); },
                                   [p] { p->showSheet(Presentation::permanentDelete); },
                                   [p] { p->showSheet(Presentation::transcodeConfirmation); }});
    };
    f.moveProgressOverlay = [](const WindowContext& c) {
        return new MoveProgressOverlay(c.manager, c.runner);
    };
    f.transcodeProgressOverlay = [](const WindowContext& c) {
        return new TranscodeProgressOverlay(c.manager, c.runner);
    };
    f.transcodeCompleteOverlay = [](const WindowContext&, const TranscodeCompleteResult& result,
                                    std::function<void()> dismiss) {
        return new TranscodeCompleteOverlay(result, std::move(dismiss));
    };
    f.trashFailureSheet = [](const WindowContext& c, const ActionResult& failure) {
        return new TrashFailureSheet({c.manager, c.runner}, c.panel, c.grants, failure);
    };
    f.sheets[Presentation::permanentDelete] = [](const WindowContext& c) {
        return new PermanentDeleteConfirmSheet({c.manager, c.runner});
    };
    f.resultSheet = [](const WindowContext&, const CleanupResult& result) { return new ResultSheet(result); };
    f.sheets[Presentation::transcodeConfirmation] = [](const WindowContext& c) {
        return new TranscodeConfirmationSheet(c.manager, c.operations, c.runner);
    };
}

} // namespace tarnwick
