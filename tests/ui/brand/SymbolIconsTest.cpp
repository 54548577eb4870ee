#include "ui/brand/SymbolIcons.h"
#include "ui/brand/SymbolIconDrawings.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QSet>
#include <QWidget>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

// Single-word names the views pass through tables and helpers where no "symbol" or "icon" is in sight.
const QStringList kPlainWordSymbols{
    "calendar", "circle",    "cloud",     "doc",      "envelope",      "externaldrive", "film",
    "folder",   "gearshape", "hourglass", "icloud",   "internaldrive", "link",          "magnifyingglass",
    "photo",    "plus",      "shield",    "sparkles", "terminal",      "trash",         "waveform"};

// Literals in the view sources that look like symbol names but are keys, styles or properties.
const QSet<QString> kNotSymbols{"review.answered", "tarnwick.app", "bordered", "prominent", "symbol"};

QString viewSourcesFolder() {
    return QDir::cleanPath(QStringLiteral(TARNWICK_FIXTURES_DIR "/../../src/ui"));
}

// Every dotted literal ("eye.slash") in the view sources, and every one-word literal in a statement
// that speaks of a symbol, an icon or a section header.
QSet<QString> symbolNamesInViewSources() {
    static const QRegularExpression dotted(QStringLiteral(R"re("([a-z][a-z0-9]*(?:\.[a-z0-9]+)+)")re"));
    static const QRegularExpression word(QStringLiteral(R"re("([a-z][a-z0-9]*)")re"));
    // Section headers take their symbol as a plain argument: BrandSectionHeader(title, "gearshape").
    static const QRegularExpression iconish(QStringLiteral("symbol|icon|Section(Header)?\\("),
                                            QRegularExpression::CaseInsensitiveOption);
    QSet<QString> names;
    QDirIterator files(viewSourcesFolder(), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (QFileInfo(path).fileName().startsWith(QStringLiteral("SymbolIcon")))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        for (const auto& match : dotted.globalMatch(text))
            names.insert(match.captured(1));
        for (const QString& statement : text.split(u';')) {
            if (!statement.contains(iconish))
                continue;
            for (const auto& match : word.globalMatch(statement))
                names.insert(match.captured(1));
        }
    }
    for (const QString& name : kPlainWordSymbols)
        names.insert(name);
    return names - kNotSymbols;
}

int inkedPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return count;
}

QImage render(const QString& name, int size, const QColor& tint = Qt::black) {
    return drawnSymbolIcon(name, tint).pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST(SymbolIcons, EveryNameTheViewsUseHasADrawing) {
    const QSet<QString> used = symbolNamesInViewSources();
    ASSERT_GT(used.size(), 60) << "the view sources were not found under "
                               << viewSourcesFolder().toStdString();
    QStringList missing;
    for (const QString& name : used) {
        if (!hasDrawing(name))
            missing << name;
    }
    missing.sort();
    EXPECT_TRUE(missing.isEmpty()) << "no drawing for: " << missing.join(u", ").toStdString();
}

TEST(SymbolIcons, DrawingsAreDistinctAndStayInsideTheirSquare) {
    QHash<QByteArray, QString> seen;
    for (const QString& name : drawnSymbolNames()) {
        for (const int size : {16, 24, 32, 48}) {
            const QImage image = render(name, size);
            ASSERT_EQ(image.size(), QSize(size, size)) << name.toStdString();
            EXPECT_GT(inkedPixels(image), size) << name.toStdString() << " at " << size;
            if (size != 48)
                continue;
            // A clear outer pixel ring: nothing is clipped by the square.
            for (int i = 0; i < size; ++i) {
                const int ring = qAlpha(image.pixel(i, 0)) + qAlpha(image.pixel(i, size - 1)) +
                                 qAlpha(image.pixel(0, i)) + qAlpha(image.pixel(size - 1, i));
                ASSERT_EQ(ring, 0) << name.toStdString() << " touches the edge";
            }
            const QByteArray bytes(reinterpret_cast<const char*>(image.constBits()),
                                   int(image.sizeInBytes()));
            EXPECT_FALSE(seen.contains(bytes))
                << name.toStdString() << " looks like " << seen.value(bytes).toStdString();
            seen.insert(bytes, name);
        }
    }
}

TEST(SymbolIcons, PaintsInTheTintWithItsAlpha) {
    const QColor tint(0x20, 0x90, 0xE0, 200);
    const QImage image = render(QStringLiteral("star.fill"), 32, tint);
    int strongest = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) < 100)
                continue;
            strongest = std::max(strongest, qAlpha(pixel));
            EXPECT_NEAR(qRed(pixel), tint.red(), 3);
            EXPECT_NEAR(qGreen(pixel), tint.green(), 3);
            EXPECT_NEAR(qBlue(pixel), tint.blue(), 3);
        }
    }
    EXPECT_EQ(strongest, 200);
    // Overlapping strokes do not darken a translucent tint.
    const QImage white = render(QStringLiteral("trash"), 48, QColor(255, 255, 255, 230));
    int whitest = 0;
    for (int y = 0; y < white.height(); ++y)
        for (int x = 0; x < white.width(); ++x)
            whitest = std::max(whitest, qAlpha(white.pixel(x, y)));
    EXPECT_EQ(whitest, 230);
}

TEST(SymbolIcons, FilledSymbolsKeepTheirMarkClear) {
    // The check's corner inside the filled disc is see-through, the disc around it is ink.
    const QImage image = render(QStringLiteral("checkmark.circle.fill"), 48);
    EXPECT_EQ(qAlpha(image.pixel(21, 30)), 0);
    EXPECT_EQ(qAlpha(image.pixel(24, 8)), 255);
    const QImage outline = render(QStringLiteral("checkmark.circle"), 48);
    EXPECT_EQ(qAlpha(outline.pixel(24, 8)), 0);
}

TEST(SymbolIcons, HighDensityPixmapsAreDrawnAtDevicePixels) {
    const QIcon icon = symbolIcon(QStringLiteral("folder.fill"), Qt::black);
    const QPixmap sharp = icon.pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(sharp.size(), QSize(32, 32));
    EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
    // Painting into a 2x device draws the 32-pixel rendering, not a blown-up 16-pixel one.
    QImage target(32, 32, QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(2.0);
    target.fill(Qt::transparent);
    QPainter painter(&target);
    icon.paint(&painter, QRect(0, 0, 16, 16));
    painter.end();
    EXPECT_EQ(target.convertToFormat(QImage::Format_ARGB32),
              sharp.toImage().convertToFormat(QImage::Format_ARGB32));
}

TEST(SymbolIcons, AScaledPainterGetsADrawingAtItsScale) {
    const QIcon icon = symbolIcon(QStringLiteral("calendar"), Qt::black);
    QImage card(36, 36, QImage::Format_ARGB32_Premultiplied);
    card.fill(Qt::transparent);
    QPainter painter(&card);
    painter.scale(3, 3);
    icon.paint(&painter, QRect(0, 0, 12, 12));
    painter.end();
    EXPECT_EQ(card.convertToFormat(QImage::Format_ARGB32),
              icon.pixmap(36, 36).toImage().convertToFormat(QImage::Format_ARGB32));
}

namespace {
class IconRow : public QWidget {
public:
    explicit IconRow(QIcon icon) : m_icon(std::move(icon)) { setFixedSize(12, 12); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        m_icon.paint(&painter, rect());
    }

private:
    QIcon m_icon;
};
} // namespace

TEST(SymbolIcons, AWidgetRenderedAtThreeTimesGetsASharpDrawing) {
    const QIcon icon = symbolIcon(QStringLiteral("doc.text"), Qt::black);
    IconRow row(icon);
    QImage card(36, 36, QImage::Format_ARGB32_Premultiplied);
    card.setDevicePixelRatio(3.0);
    card.fill(Qt::transparent);
    QPainter painter(&card);
    row.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.end();
    card.setDevicePixelRatio(1.0);
    EXPECT_EQ(card.convertToFormat(QImage::Format_ARGB32),
              icon.pixmap(36, 36).toImage().convertToFormat(QImage::Format_ARGB32));
}

TEST(SymbolIcons, DisabledIconsAreFainter) {
    const QIcon icon = symbolIcon(QStringLiteral("shield.fill"), Qt::black);
    const QImage normal = icon.pixmap(QSize(24, 24), QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(QSize(24, 24), QIcon::Disabled).toImage();
    EXPECT_EQ(qAlpha(normal.pixel(12, 12)), 255);
    EXPECT_LT(qAlpha(disabled.pixel(12, 12)), 128);
}

TEST(SymbolIcons, UnknownNamesStillGetAnIcon) {
    EXPECT_FALSE(hasDrawing(QStringLiteral("no.such.symbol")));
    const QIcon icon = symbolIcon(QStringLiteral("no.such.symbol"), Qt::black);
    EXPECT_FALSE(icon.isNull());
    EXPECT_GT(inkedPixels(icon.pixmap(24, 24).toImage()), 24);
}

} // namespace
} // namespace tarnwick
