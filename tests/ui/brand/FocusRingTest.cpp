#include "support/ColourContrast.h"
#include "ui/bin/BinWidgets.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandPrimaryButton.h"
#include "ui/brand/BrandStyle.h"
#include "ui/brand/BrandTheme.h"
#include "ui/brand/FocusRingButton.h"

#include <QApplication>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QStyleFactory>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace tarnwick;

namespace {

bool changed(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())}) >= 64;
}

// The ring as the pixels show it, scanned inwards from the button's left edge and top edge.
struct Ring {
    double outerOnSurroundings = 0; // the ring's outermost pixel against what is round the button
    double innerOnFill = 0;         // its innermost pixel against the button's own fill
    int gapLeft = 0;                // clear pixels between the ring and the label
    int gapTop = 0;
};

// Along `line` (points from outside the button inwards): where the ring starts (the first pixel the
// focus changed), where it ends (the last pixel before the button's fill shows again) and the first
// label pixel after it.
struct Scan {
    int ringStart = -1;
    int ringEnd = -1;
    int label = -1;
};

Scan scan(const QImage& rest, const QImage& focused, const QList<QPoint>& line, QColor fill) {
    Scan s;
    for (int i = 0; i < line.size(); ++i) {
        if (s.ringStart < 0) {
            if (changed(rest.pixelColor(line[i]), focused.pixelColor(line[i])))
                s.ringStart = i;
        } else if (s.ringEnd < 0) {
            if (contrastRatio(focused.pixelColor(line[i]), fill) < 1.2)
                s.ringEnd = i - 1;
        } else if (contrastRatio(rest.pixelColor(line[i]), fill) >= 1.5) {
            s.label = i;
            break;
        }
    }
    return s;
}

Ring measure(QWidget& button, const QColor& surroundings) {
    QWidget backdrop;
    backdrop.setAutoFillBackground(true);
    QPalette colors = backdrop.palette();
    colors.setColor(QPalette::Window, surroundings);
    backdrop.setPalette(colors);
    QPushButton other(QStringLiteral("Other"), &backdrop);
    button.setParent(&backdrop);
    button.resize(button.sizeHint().expandedTo(QSize(160, 0)));
    button.move(12, 12);
    other.move(12, button.height() + 24);
    backdrop.resize(button.width() + 24, button.height() + other.sizeHint().height() + 36);
    backdrop.show();
    backdrop.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&backdrop));
    other.setFocus(Qt::TabFocusReason);
    const QImage rest = backdrop.grab().toImage();
    button.setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(button.hasFocus());
    const QImage focused = backdrop.grab().toImage();
    button.setParent(nullptr);

    const QRect r = button.geometry();
    const QPoint middle = r.center();
    QList<QPoint> across, down;
    for (int x = r.left() - 4; x < middle.x(); ++x)
        across.append({x, middle.y()});
    // Down through the label's middle third, where a glyph is found in one column or another.
    const QColor fill = rest.pixelColor(r.left() + 8, r.top() + r.height() / 2);
    const Scan a = scan(rest, focused, across, fill);
    Scan d;
    for (int x = middle.x() - r.width() / 6; x <= middle.x() + r.width() / 6; ++x) {
        QList<QPoint> column;
        for (int y = r.top() - 4; y < r.bottom(); ++y)
            column.append({x, y});
        const Scan c = scan(rest, focused, column, fill);
        if (c.label >= 0 && (d.label < 0 || c.label < d.label))
            d = c;
    }
    Ring ring;
    if (a.ringStart < 0 || a.ringEnd < 0 || a.label < 0 || d.label < 0) {
        ADD_FAILURE() << "no ring or no label found";
        return ring;
    }
    ring.outerOnSurroundings = contrastRatio(focused.pixelColor(across[a.ringStart]), surroundings);
    ring.innerOnFill = contrastRatio(focused.pixelColor(across[a.ringEnd]), fill);
    ring.gapLeft = a.label - a.ringEnd - 1;
    ring.gapTop = d.label - d.ringEnd - 1;
    return ring;
}

void expectRingReads(const Ring& ring) {
    EXPECT_GE(ring.outerOnSurroundings, 3.0);
    EXPECT_GE(ring.innerOnFill, 3.0);
    EXPECT_GE(ring.gapLeft, 2);
    EXPECT_GE(ring.gapTop, 2);
}

struct BrandLook {
    BrandLook() : style(QApplication::style()->name()), colors(QApplication::palette()) {
        QApplication::setStyle(new BrandStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
        QApplication::setPalette(brandWidgetPalette());
    }
    ~BrandLook() {
        QApplication::setStyle(style);
        QApplication::setPalette(colors);
    }
    QString style;
    QPalette colors;
};

} // namespace

// The ring reads against the fill it sits on and against what lies round the button, and leaves
// room before the label: on the violet primary button, the accent-filled default of an alert, and
// the indigo "Transcode & Replace".
TEST(FocusRing, ReadsAgainstTheButtonAndItsSurroundingsWithAGapToTheLabel) {
    const BrandLook look;
    {
        SCOPED_TRACE("primary");
        BrandPrimaryButton primary(QStringLiteral("Get Started"));
        expectRingReads(measure(primary, Color::welcomeCardBackground()));
    }
    {
        SCOPED_TRACE("accent");
        FocusRingButton accent(QStringLiteral("Search Offline Files..."));
        accent.setProminent(true);
        expectRingReads(measure(accent, Color::brandSurfaceRaised()));
    }
    {
        SCOPED_TRACE("indigo");
        QPushButton* indigo = BinWidgets::tintedButton(QStringLiteral("Transcode & Replace"),
                                                       Color::darkSystemIndigo(), true, {}, nullptr);
        const auto drop = qScopeGuard([indigo] { delete indigo; });
        expectRingReads(measure(*indigo, Color::modalCardBackground()));
    }
    {
        SCOPED_TRACE("plain");
        QPushButton plain(QStringLiteral("Choose Folder..."));
        expectRingReads(measure(plain, Color::modalCardBackground()));
    }
}

// A slider (the card player's position) wears the ring round its handle while it has the focus:
// the base style shows no focus on it at all.
TEST(FocusRing, ASliderWearsItRoundItsHandle) {
    const BrandLook look;
    QWidget surface;
    QPalette dark = surface.palette();
    dark.setColor(QPalette::Window, Color::brandBackground());
    surface.setPalette(dark);
    surface.setAutoFillBackground(true);
    auto* slider = new QSlider(Qt::Horizontal, &surface);
    slider->setRange(0, 100);
    slider->setValue(50);
    slider->setGeometry(10, 10, 200, 24);
    surface.resize(220, 44);
    surface.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&surface));
    slider->clearFocus();
    const QImage rest = slider->grab().toImage();
    slider->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(slider->hasFocus());
    const QImage focused = slider->grab().toImage();
    int lighter = 0;
    for (int y = 0; y < rest.height(); ++y)
        for (int x = 0; x < rest.width(); ++x)
            lighter += qGray(focused.pixel(x, y)) - qGray(rest.pixel(x, y)) >= 64 ? 1 : 0;
    EXPECT_GE(lighter, 20) << "a light band round the handle";
}
