#pragma once

#include "ui/browser/MediaPreviewView.h"
#include "ui/browser/MediaThumbnailStore.h"

#include <memory>

namespace tarnwick {

class DesktopServices;
struct ViewFactories;

// What the browser's views need from the rest of the application.
struct BrowserServices {
    std::shared_ptr<DesktopServices> desktop;                          // reveal and copy paths
    MediaThumbnailStore::Loader thumbnails;                            // the table's small pictures
    ImageLoader loadImage;                                             // whole images for the preview
    ScrubViewFactory scrubView;                                        // audio and video previews
    std::function<void(std::function<void(int)>)> onThumbnailActivity; // subscribes to the activity count
};

// The application's services: the shared thumbnail generator and its activity count, the desktop's
// reveal and clipboard, and the player for audio and video previews.
BrowserServices systemBrowserServices(std::shared_ptr<DesktopServices> desktop);

// Registers the filter bar, the media table and the storage map with the window.
void installBrowserViews(ViewFactories& factories, BrowserServices services);

} // namespace tarnwick
