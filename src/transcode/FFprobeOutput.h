#pragma once

#include "transcode/ProbeInfo.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarnwick::ffprobe {

// ffprobe's "-print_format json -show_format -show_streams" output; absent when it is not a JSON
// object. Missing or mistyped members take their defaults.
std::optional<ProbeInfo> parse(const QByteArray& json);

// The detail line logged after a probe.
QString probeLine(const ProbeInfo& info);

} // namespace tarnwick::ffprobe
