#pragma once

#include <QString>

class QFontMetricsF;

namespace tarnwick {

// `path` fitted to `width`: the middle gives way first, so the start of the path and its last
// component (the folder's or the file's own name) stay readable: "/media/editor/Sho…/Card A".
// Only a last component too long for the width is itself cut in its middle.
QString elidedPath(const QString& path, const QFontMetricsF& metrics, qreal width);

} // namespace tarnwick
