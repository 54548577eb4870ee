#include "ui/SymbolIcons.h"

#include "ui/BrandPalette.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

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

// A five-pointed star, an envelope, a trash can or a circle with the symbol's initial: enough to
// keep a button recognisable where the icon theme has nothing.
void drawSymbol(QPainter& p, const QString& name, const QRectF& r) {
    const qreal w = r.width();
    if (name.startsWith(u"star")) {
        QPainterPath star;
        for (int i = 0; i < 10; ++i) {
            const qreal radius = (i % 2 == 0) ? w / 2 : w / 5;
            const qreal angle = -M_PI / 2 + i * M_PI / 5;
            const QPointF point(r.center().x() + radius * std::cos(angle),
                                r.center().y() + radius * std::sin(angle));
            i == 0 ? star.moveTo(point) : star.lineTo(point);
        }
        star.closeSubpath();
        p.fillPath(star, p.pen().color());
    } else if (name.startsWith(u"envelope")) {
        const QRectF body = r.adjusted(w * 0.05, w * 0.2, -w * 0.05, -w * 0.2);
        p.drawRect(body);
        p.drawPolyline(
            QPolygonF{body.topLeft(), QPointF(body.center().x(), body.center().y()), body.topRight()});
    } else if (name.startsWith(u"trash")) {
        p.drawLine(QPointF(r.left() + w * 0.1, r.top() + w * 0.2),
                   QPointF(r.right() - w * 0.1, r.top() + w * 0.2));
        p.drawRect(QRectF(r.left() + w * 0.2, r.top() + w * 0.2, w * 0.6, w * 0.7));
    } else {
        p.drawEllipse(r.adjusted(1, 1, -1, -1));
        QFont font = p.font();
        font.setPixelSize(std::max(6, int(w * 0.55)));
        font.setBold(true);
        p.setFont(font);
        p.drawText(r, Qt::AlignCenter, name.left(1).toUpper());
    }
}

} // namespace

QString themeIconName(const QString& symbolName) {
    return themeNames().value(symbolName);
}

QIcon drawnSymbolIcon(const QString& symbolName, const QColor& tint) {
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(tint, std::max(1.0, size / 14.0)));
        drawSymbol(painter, symbolName, QRectF(0, 0, size, size).adjusted(1, 1, -1, -1));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon symbolIcon(const QString& symbolName, const QColor& tint) {
    const QString themeName = themeIconName(symbolName);
    if (!themeName.isEmpty() && QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    return drawnSymbolIcon(symbolName, tint.isValid() ? tint : Color::brandTextPrimary());
}

} // namespace tarnwick
