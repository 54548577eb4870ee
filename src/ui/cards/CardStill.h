#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

class QThreadPool;

namespace tarnwick {

// The still of an image card, decoded at the size it is shown (never the full camera resolution)
// and turned upright. Runs on a worker.
std::optional<QImage> readCardStill(const QString& path, QSize bound);

} // namespace tarnwick
