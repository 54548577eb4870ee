#include "ui/brand/AppIcon.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace tarnwick {

namespace {

// Draws the vector source straight into whatever it is painted on, so a card rendered at three
// times its size gets a sharp icon, and renders pixmaps at any size asked for.
class AppIconEngine final : public QIconEngine {
public:
    explicit AppIconEngine(QByteArray svg) : m_svg(std::move(svg)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        QSvgRenderer renderer(m_svg);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        renderer.render(painter, QRectF(rect));
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        if (size.isEmpty())
            return {};
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        painter.end();
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    // For window systems that ask which sizes to send.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}};
    }

    QIconEngine* clone() const override { return new AppIconEngine(m_svg); }
    QString key() const override { return QStringLiteral("tarnwick-app-icon"); }
    bool isNull() override { return false; }

private:
    QByteArray m_svg;
};

} // namespace

QIcon appIcon() {
    QFile file(QStringLiteral(":/tarnwick/AppIcon.svg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = file.readAll();
    if (!QSvgRenderer(svg).isValid())
        return {};
    return QIcon(new AppIconEngine(std::move(svg)));
}

} // namespace tarnwick
