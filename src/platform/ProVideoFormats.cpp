#include "platform/ProVideoFormats.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarnwick {

bool mediaLibrariesCanReadMxf() {
    return av_find_input_format("mxf") != nullptr;
}

bool proVideoFormatsInstalled(bool sandboxed) {
    return sandboxed || mediaLibrariesCanReadMxf();
}

} // namespace tarnwick
