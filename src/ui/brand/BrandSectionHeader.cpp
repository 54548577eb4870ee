#include "ui/brand/BrandSectionHeader.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"

#include <QFontMetricsF>
#include <QPainter>

namespace tarnwick {

namespace {
constexpr int symbolSize = 9;
constexpr int spacing = 6;
} // namespace

BrandSectionHeader::BrandSectionHeader(const QString& title, std::optional<QString> systemImage,
                                       QWidget* parent)
    : QWidget(parent), m_title(title), m_systemImage(std::move(systemImage)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(title);
}

QFont BrandSectionHeader::titleFont() {
    QFont font = Font::brandMono(10, Font::Weight::bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.4);
    return font;
}

QSize BrandSectionHeader::sizeHint() const {
    const QFontMetricsF metrics(titleFont());
    qreal width = metrics.horizontalAdvance(m_title.toUpper());
    if (m_systemImage)
        width += symbolSize + spacing;
    return QSizeF(width, std::max<qreal>(metrics.height(), symbolSize)).toSize();
}

void BrandSectionHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    int x = 0;
    if (m_systemImage) {
        const QIcon icon = symbolIcon(*m_systemImage, Color::brandTextTertiary());
        const int y = (height() - symbolSize) / 2;
        icon.paint(&painter, QRect(x, y, symbolSize, symbolSize));
        x += symbolSize + spacing;
    }
    painter.setFont(titleFont());
    painter.setPen(Color::brandTextTertiary());
    painter.drawText(QRect(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, m_title.toUpper());
}

} // namespace tarnwick
