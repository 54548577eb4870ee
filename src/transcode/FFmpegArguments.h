#pragma once

#include "transcode/ProbeInfo.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick {

// The HEVC encoder settings shared by both routes. libx265 stands in for the hardware encoder
// that does not exist here; the quality constants were chosen by the sweep in bench/README.md.
struct HevcSettings {
    const char* encoder;
    int crf;
    const char* preset;
    const char* x265Params;
    const char* tag;
};
inline constexpr HevcSettings hevcSettings{"libx265", 24, "fast", "log-level=error", "hvc1"};

namespace ffmpegArguments {

// "copy" for aac, mp3, ac3 and eac3, else 24-bit PCM (also with no probe or no audio).
QString audioChoice(const std::optional<ProbeInfo>& probe);
// 10-bit output only for sources of more than 8 bits.
QString pixelFormat(const std::optional<ProbeInfo>& probe);
// libx265 refuses odd sizes: drop the last column and row when odd.
QString evenCropFilter();

// The whole command line after the executable, in order.
QStringList transcode(const QString& sourcePath, const QString& outputPath,
                      const std::optional<ProbeInfo>& probe);

} // namespace ffmpegArguments
} // namespace tarnwick
