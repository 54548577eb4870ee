#include "ui/common/CardShadow.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <vector>

namespace tarnwick {

namespace {

// One pass of a running-sum box blur over `values` (width × height), along rows or columns.
void boxBlur(std::vector<int>& values, int width, int height, int half, bool rows) {
    const int lines = rows ? height : width;
    const int length = rows ? width : height;
    const int step = rows ? 1 : width;
    std::vector<int> line(static_cast<size_t>(length));
    for (int l = 0; l < lines; ++l) {
        const size_t start = rows ? size_t(l) * size_t(width) : size_t(l);
        for (int i = 0; i < length; ++i)
            line[size_t(i)] = values[start + size_t(i) * size_t(step)];
        int sum = 0;
        for (int i = -half; i <= half; ++i)
            sum += (i >= 0 && i < length) ? line[size_t(i)] : 0;
        for (int i = 0; i < length; ++i) {
            values[start + size_t(i) * size_t(step)] = sum / (2 * half + 1);
            const int out = i - half;
            const int in = i + half + 1;
            sum += (in < length ? line[size_t(in)] : 0) - (out >= 0 ? line[size_t(out)] : 0);
        }
    }
}

} // namespace

CardShadow::CardShadow(QWidget* card, QPointF offset, const QColor& color)
    : QWidget(card->parentWidget()), m_card(card), m_offset(offset.toPoint()), m_color(color) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    card->installEventFilter(this);
    connect(card, &QObject::destroyed, this, &QObject::deleteLater);
    follow();
}

QImage CardShadow::shadowImage(QSize size, const QColor& color) {
    const QSize full = size + QSize(2 * blurRadius, 2 * blurRadius);
    QImage mask(full, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(QRectF(QPointF(blurRadius, blurRadius), QSizeF(size)), cornerRadius,
                                cornerRadius);
    }
    const int width = full.width();
    const int height = full.height();
    std::vector<int> coverage(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uchar* line = mask.constScanLine(y);
        for (int x = 0; x < width; ++x)
            coverage[size_t(y) * size_t(width) + size_t(x)] = line[x];
    }
    // Three box passes each way come close to a Gaussian of the blur radius.
    for (int pass = 0; pass < 3; ++pass) {
        boxBlur(coverage, width, height, blurRadius / 3, true);
        boxBlur(coverage, width, height, blurRadius / 3, false);
    }
    QImage image(full, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int a = color.alpha() * coverage[size_t(y) * size_t(width) + size_t(x)] / 255;
            line[x] = qPremultiply(qRgba(color.red(), color.green(), color.blue(), a));
        }
    }
    return image;
}

bool CardShadow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_card.data()) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ZOrderChange:
            follow();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CardShadow::follow() {
    const QRect area = m_card->geometry().adjusted(-blurRadius, -blurRadius, blurRadius, blurRadius);
    if (m_image.isNull() || m_image.size() != area.size())
        m_image = shadowImage(m_card->size(), m_color);
    setGeometry(area.translated(m_offset));
    setVisible(!m_card->isHidden());
    stackUnder(m_card);
}

void CardShadow::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), m_image, event->rect());
}

} // namespace tarnwick
