#pragma once

namespace tarnwick {

// Whether the media libraries can open MXF files (the professional-video container).
bool mediaLibrariesCanReadMxf();

// Whether the professional video formats count as installed: always in a sandboxed process,
// otherwise when the media libraries can read MXF.
bool proVideoFormatsInstalled(bool sandboxed);

} // namespace tarnwick
