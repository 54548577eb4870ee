#include "ui/bin/BinViews.h"

#include "ui/bin/BinOverlays.h"
#include "ui/bin/BinSheets.h"
#include "ui/bin/RecycleBinView.h"
#include "ui/window/ContentView.h"
#include "ui/window/ViewFactories.h"

namespace tarnwick {

void installBinViews(ViewFactories& f) {
    f.recycleBin = [](ContentView& v) { return new RecycleBinView(v); };
    f.moveProgressOverlay = [](ContentView& v) { return new MoveProgressOverlay(v); };
    f.transcodeProgressOverlay = [](ContentView& v) { return new TranscodeProgressOverlay(v); };
    f.transcodeCompleteOverlay = [](ContentView&, const TranscodeCompleteResult& result,
                                    std::function<void()> dismiss) {
        return new TranscodeCompleteOverlay(result, std::move(dismiss));
    };
    f.trashFailureSheet = [](ContentView& v) { return new TrashFailureSheet(v); };
    f.permanentDeleteSheet = [](ContentView& v) { return new PermanentDeleteConfirmSheet(v); };
    f.deletionResultSheet = [](ContentView&, const DeletionResult& r, const QString& title) {
        return new ResultSheet(title, r.deleted, r.failed, r.errors);
    };
    f.operationResultSheet = [](ContentView&, const BinMoveResult& r, const QString& title) {
        return new ResultSheet(title, r.moved, r.failed, r.errors);
    };
    f.transcodeConfirmationSheet = [](ContentView& v) { return new TranscodeConfirmationSheet(v); };
}

} // namespace tarnwick
