#pragma once

#include "ui/common/Presentation.h"

namespace tarnwick {

class PresentationChain;

// What the panes ask of the window: its alerts and sheets, raised as requests to its chain.
class WindowRequests {
public:
    virtual ~WindowRequests() = default;

    virtual PresentationChain& chain() const = 0;
    // "Delete Files": confirms the Trash run over the whole bin.
    virtual void confirmMoveToTrash() = 0;
    // The folder choice for moving the bin, then its confirmation.
    virtual void chooseBinMoveFolder() = 0;
    // One of the sheets that carry nothing of their own, made by its factory.
    virtual void showSheet(Presentation sheet) = 0;
};

} // namespace tarnwick
