#include "ui/brand/SymbolIcons.h"

#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIconCanvas.h"
#include "ui/brand/SymbolIconDrawings.h"

#include <QCoreApplication>
#include <QHash>
#include <QIconEngine>
#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

const QHash<QString, QString>& themeNames() {
    static const QHash<QString, QString> table{
        {QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh")},
        {QStringLiteral("arrow.3.trianglepath"), QStringLiteral("view-refresh")},
        {QStringLiteral("arrow.down.doc"), QStringLiteral("document-import")},
        {QStringLiteral("arrow.down.doc.fill"), QStringLiteral("document-import")},
        {QStringLiteral("arrow.right"), QStringLiteral("go-next")},
        {QStringLiteral("arrow.uturn.backward"), QStringLiteral("edit-undo")},
        {QStringLiteral("chart.bar"), QStringLiteral("office-chart-bar")},
        {QStringLiteral("chart.bar.fill"), QStringLiteral("office-chart-bar")},
        {QStringLiteral("chart.pie"), QStringLiteral("office-chart-pie")},
        {QStringLiteral("checkmark.circle"), QStringLiteral("emblem-ok")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-ok")},
        {QStringLiteral("chevron.left"), QStringLiteral("go-previous")},
        {QStringLiteral("chevron.right"), QStringLiteral("go-next")},
        {QStringLiteral("doc"), QStringLiteral("text-x-generic")},
        {QStringLiteral("doc.text"), QStringLiteral("text-x-generic")},
        {QStringLiteral("doc.on.doc.fill"), QStringLiteral("edit-copy")},
        {QStringLiteral("envelope"), QStringLiteral("mail-send")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning")},
        {QStringLiteral("film.fill"), QStringLiteral("video-x-generic")},
        {QStringLiteral("film.stack"), QStringLiteral("video-x-generic")},
        {QStringLiteral("video.fill"), QStringLiteral("video-x-generic")},
        {QStringLiteral("folder.fill"), QStringLiteral("folder")},
        {QStringLiteral("folder.badge.plus"), QStringLiteral("folder-new")},
        {QStringLiteral("lock.fill"), QStringLiteral("changes-prevent")},
        {QStringLiteral("lock.open"), QStringLiteral("changes-allow")},
        {QStringLiteral("photo"), QStringLiteral("image-x-generic")},
        {QStringLiteral("play.circle.fill"), QStringLiteral("media-playback-start")},
        {QStringLiteral("server.rack"), QStringLiteral("network-server")},
        {QStringLiteral("speaker.wave.2.fill"), QStringLiteral("audio-volume-high")},
        {QStringLiteral("waveform"), QStringLiteral("audio-x-generic")},
        {QStringLiteral("square.and.arrow.up"), QStringLiteral("document-export")},
        {QStringLiteral("star.fill"), QStringLiteral("starred")},
        {QStringLiteral("stop.circle"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("trash"), QStringLiteral("user-trash")},
        {QStringLiteral("xmark.circle"), QStringLiteral("window-close")},
        {QStringLiteral("xmark.circle.fill"), QStringLiteral("window-close")},
    };
    return table;
}

constexpr qreal kGrid = 24.0;
// Stroke width on the 24-unit grid; never thinner than one device pixel.
constexpr qreal kLine = 1.7;
// Below this many pixels the busier drawings leave out their finer detail.
constexpr qreal kCompactBelow = 13;

void drawInitial(QPainter& p, const QString& name, qreal line) {
    p.setPen(QPen(Qt::black, line));
    p.drawEllipse(QRectF(3, 3, 18, 18));
    QFont font = p.font();
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(0, 0, kGrid, kGrid), Qt::AlignCenter, name.left(1).toUpper());
}

// Draws in opaque ink on a clear image, then tints the ink, so knocked-out marks stay clear and a
// translucent tint never doubles where strokes overlap.
QImage renderSymbol(const QString& name, const QSize& pixels, const QColor& tint) {
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const qreal side = std::min(pixels.width(), pixels.height());
    const qreal scale = side / kGrid;
    const qreal line = std::max(kLine * scale, 1.0) / scale;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate((pixels.width() - side) / 2, (pixels.height() - side) / 2);
    painter.scale(scale, scale);
    if (const SymbolDrawing drawing = findSymbolDrawing(name)) {
        SymbolIconCanvas canvas(painter, line, side < kCompactBelow);
        drawing(canvas);
    } else {
        drawInitial(painter, name, line);
    }
    painter.resetTransform();
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), tint);
    return image;
}

bool onGuiThread() {
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(QString name, QColor tint) : m_name(std::move(name)), m_tint(std::move(tint)) {}

    // Renders at the pixels the rect covers on the device, so a scaled painter (a share card
    // drawn at three times its size) gets a sharp drawing, not a blown-up small one.
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        // The device transform holds the pixel ratio, the painter's scale and a widget render's.
        const QTransform& device = painter->deviceTransform();
        const qreal zoom = std::sqrt(std::abs(device.m11() * device.m22() - device.m12() * device.m21()));
        const qreal ratio = std::clamp(zoom, 0.25, 16.0);
        const QSize pixels(qRound(rect.width() * ratio), qRound(rect.height() * ratio));
        painter->drawPixmap(rect, scaledPixmap(pixels, mode, state, ratio));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `pixels` is already the device-pixel size; the ratio only labels the result.
    QPixmap scaledPixmap(const QSize& pixels, QIcon::Mode mode, QIcon::State, qreal ratio) override {
        if (pixels.isEmpty())
            return {};
        QColor tint = m_tint;
        if (mode == QIcon::Disabled)
            tint.setAlphaF(tint.alphaF() * 0.4f);
        const QString key = QStringLiteral("tarnwick-symbol:%1:%2:%3x%4")
                                .arg(m_name, QString::number(tint.rgba(), 16).rightJustified(8, u'0'),
                                     QString::number(pixels.width()), QString::number(pixels.height()));
        const bool cached = onGuiThread();
        QPixmap result;
        if (!cached || !QPixmapCache::find(key, &result)) {
            result = QPixmap::fromImage(renderSymbol(m_name, pixels, tint));
            if (cached)
                QPixmapCache::insert(key, result);
        }
        result.setDevicePixelRatio(ratio);
        return result;
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(m_name, m_tint); }
    QString key() const override { return QStringLiteral("tarnwick-symbol"); }
    bool isNull() override { return false; }

private:
    QString m_name;
    QColor m_tint;
};

QColor effectiveTint(const QColor& tint) {
    return tint.isValid() ? tint : Color::brandTextPrimary();
}

} // namespace

QString themeIconName(const QString& symbolName) {
    return themeNames().value(symbolName);
}

bool hasDrawing(const QString& symbolName) {
    return findSymbolDrawing(symbolName) != nullptr;
}

QIcon drawnSymbolIcon(const QString& symbolName, const QColor& tint) {
    return QIcon(new SymbolIconEngine(symbolName, effectiveTint(tint)));
}

QIcon symbolIcon(const QString& symbolName, const QColor& tint) {
    if (!hasDrawing(symbolName)) {
        const QString themeName = themeIconName(symbolName);
        if (!themeName.isEmpty() && QIcon::hasThemeIcon(themeName))
            return QIcon::fromTheme(themeName);
    }
    return drawnSymbolIcon(symbolName, tint);
}

} // namespace tarnwick
