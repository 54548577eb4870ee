#include "ui/cards/CardStill.h"

#include <QImageIOHandler>
#include <QImageReader>

namespace tarnwick {

std::optional<QImage> readCardStill(const QString& path, QSize bound) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize stored = reader.size();
    if (stored.isValid() && !bound.isEmpty()) {
        // The bound is for the upright picture; the reader scales before it turns.
        QSize box = bound;
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            box.transpose();
        if (stored.width() > box.width() || stored.height() > box.height())
            reader.setScaledSize(stored.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

} // namespace tarnwick
