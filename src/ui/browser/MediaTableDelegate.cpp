#include "ui/browser/MediaTableDelegate.h"

#include "analysis/MediaFilterIndex.h"
#include "platform/ByteCountText.h"
#include "platform/PathText.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRing.h"
#include "ui/brand/StatusPill.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/browser/MediaBadges.h"
#include "ui/browser/MediaTableModel.h"
#include "ui/browser/MediaThumbnailStore.h"
#include "ui/common/PathElision.h"
#include "ui/common/ViewHelpers.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <cmath>

namespace tarnwick {
namespace {

const QColor& secondaryText() {
    static const QColor color = Color::withAlpha(Color::brandTextPrimary(), 150);
    return color;
}

QFont pixelFont(int pixels, QFont::Weight weight = QFont::Normal) {
    QFont font;
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

const QFont& captionFont() {
    static const QFont font = pixelFont(11);
    return font;
}

// Drawn symbol icons are cached by name, colour and size: cells repaint often.
QPixmap symbolPixmap(const QString& symbol, const QColor& color, int size, qreal dpr) {
    static QHash<QString, QPixmap> cache;
    const QString key = symbol + u'|' + color.name(QColor::HexArgb) + u'|' + QString::number(size) + u'|' +
                        QString::number(dpr);
    auto found = cache.constFind(key);
    if (found != cache.cend())
        return *found;
    QPixmap pixmap = symbolIcon(symbol, color).pixmap(QSize(size, size), dpr);
    if (cache.size() > 512)
        cache.clear();
    cache.insert(key, pixmap);
    return pixmap;
}

// Lays out marks left to right in a cell and paints them when a painter is given. On a selected row
// every text and mark takes the selection's text colour (`ink`): their own colours are lost on the
// selection, and the row reads as one.
class CellWriter {
public:
    CellWriter(QPainter* painter, const QRect& rect, const QColor& ink = {})
        : m_painter(painter), m_rect(rect), m_x(rect.left() + 4), m_ink(ink) {}

    qreal centreY() const { return m_rect.center().y() + 0.5; }

    QRectF text(const QString& text, const QFont& font, const QColor& color, qreal y, qreal maxWidth = -1) {
        const QFontMetricsF metrics(font);
        const qreal room = (maxWidth < 0 ? m_rect.right() - 4 - m_x : maxWidth);
        const QString shown = metrics.elidedText(text, Qt::ElideRight, std::max<qreal>(room, 0));
        const QRectF box(m_x, y - metrics.height() / 2, metrics.horizontalAdvance(shown), metrics.height());
        if (m_painter) {
            m_painter->setFont(font);
            m_painter->setPen(inked(color));
            // On the font's own baseline, unclipped: characters from a fallback font (CJK text) make
            // the line taller than this font, and centring that line in the box pushed the baseline
            // down until the box cut off what hangs below it (underscores).
            m_painter->drawText(QPointF(box.left(), std::round(box.top() + metrics.ascent())), shown);
        }
        m_x = box.right() + 4;
        return box;
    }

    QRectF symbol(const QString& name, const QColor& color, int size, qreal y) {
        const QRectF box(m_x, y - size / 2.0, size, size);
        if (m_painter) {
            const qreal dpr = m_painter->device() ? m_painter->device()->devicePixelRatioF() : 1.0;
            m_painter->drawPixmap(box.toRect(), symbolPixmap(name, inked(color), size, dpr));
        }
        m_x = box.right() + 4;
        return box;
    }

    QRectF pill(const QString& text, const QColor& color, qreal y) {
        const QSizeF size = StatusPill::pillSize(text);
        const QRectF box(m_x, y - size.height() / 2, size.width(), size.height());
        if (m_painter)
            StatusPill::paintPill(*m_painter, box, text, inked(color), true);
        m_x = box.right() + 4;
        return box;
    }

    QRectF dot(const QColor& color, qreal y) {
        const QRectF box(m_x, y - 3.5, 7, 7);
        if (m_painter) {
            m_painter->setPen(Qt::NoPen);
            m_painter->setBrush(color);
            m_painter->drawEllipse(box);
        }
        m_x = box.right() + 4;
        return box;
    }

    QRectF thumbnail(const QImage& image, bool loading, MediaKind kind, qreal y) {
        const QRectF box(m_x, y - 8, 24, 16);
        if (m_painter) {
            QPainterPath shape;
            shape.addRoundedRect(box, 2, 2);
            m_painter->save();
            if (!image.isNull()) {
                m_painter->setClipPath(shape);
                // Fill, not fit: crop the picture to the cell's shape.
                const QSizeF scaled = QSizeF(image.size()).scaled(box.size(), Qt::KeepAspectRatioByExpanding);
                QRectF target(QPointF(), scaled);
                target.moveCenter(box.center());
                m_painter->drawImage(target, image);
                m_painter->setClipping(false);
                m_painter->setPen(QPen(Color::thumbnailRim(), 0.5));
                m_painter->setBrush(Qt::NoBrush);
                m_painter->drawPath(shape);
            } else {
                m_painter->fillPath(shape, loading ? Color::thumbnailPending() : Color::thumbnailMissing());
                if (!loading) {
                    static const QString icons[] = {QStringLiteral("film"), QStringLiteral("waveform"),
                                                    QStringLiteral("photo"), QStringLiteral("doc")};
                    const QColor colors[] = {secondaryText(), Color::darkSystemPurple(),
                                             Color::darkSystemBlue(), secondaryText()};
                    const int k = int(kind);
                    const QRectF iconBox(box.center().x() - 5, box.center().y() - 5, 10, 10);
                    const qreal dpr = m_painter->device() ? m_painter->device()->devicePixelRatioF() : 1.0;
                    m_painter->drawPixmap(iconBox.toRect(), symbolPixmap(icons[k], colors[k], 10, dpr));
                } else {
                    m_painter->setPen(QPen(secondaryText(), 1));
                    m_painter->drawArc(QRectF(box.center().x() - 3, box.center().y() - 3, 6, 6), 0, 270 * 16);
                }
            }
            m_painter->restore();
        }
        m_x = box.right() + 4;
        return box;
    }

    void newLine() { m_x = m_rect.left() + 4; }
    qreal x() const { return m_x; }

private:
    QColor inked(const QColor& color) const { return m_ink.isValid() ? m_ink : color; }

    QPainter* m_painter;
    QRect m_rect;
    qreal m_x;
    QColor m_ink;
};

MediaKind kindOf(const MediaFile& file) {
    return mediaKindFromExtension(path::pathExtension(file.path));
}

QString consolidatedTooltip(const MediaFile& file) {
    QString text = QStringLiteral("Consolidated from %1 paths:").arg(file.alternativePaths.size() + 1);
    text += QStringLiteral("\n• ") + file.path;
    for (const QString& other : file.alternativePaths)
        text += QStringLiteral("\n• ") + other;
    return text;
}

QList<MediaTableDelegate::Mark> writeStatus(CellWriter& writer, const MediaFile& file, const QImage& image,
                                            bool loading) {
    QList<MediaTableDelegate::Mark> marks;
    const qreal y = writer.centreY();
    if (file.isOnDisk())
        marks.append({writer.thumbnail(image, loading, kindOf(file), y), {}, true});
    const QColor color = statusColor(file);
    writer.dot(color, y);
    writer.text(MediaBadges::statusText(file), Font::brandMono(10, Font::Weight::medium), color, y);
    if (file.matchedPath)
        marks.append({writer.symbol(QStringLiteral("link"), MediaBadges::relocationColor(file), 10, y),
                      QStringLiteral("Relocated: ") + *file.matchedPath});
    if (file.isProtected)
        marks.append({writer.symbol(QStringLiteral("lock.fill"), Color::brandCyan(), 10, y),
                      QString::fromUtf8(MediaBadges::protectedTooltip)});
    return marks;
}

const QFont& nameFont() {
    static const QFont font = Font::brand(12, Font::Weight::medium);
    return font;
}

const QFont& folderFont() {
    static const QFont font = Font::brandMono(10);
    return font;
}

// Where the name cell's lines are centred, from the row's top: the name, the relocation line (when
// there is one) and the folder.
struct NameLines {
    qreal nameY = 0;
    qreal relocationY = 0;
    qreal folderY = 0;
};

NameLines nameLines(qreal top, bool relocationLine) {
    const qreal name = QFontMetricsF(nameFont()).height();
    const qreal caption = QFontMetricsF(captionFont()).height();
    NameLines lines;
    lines.nameY = top + 3 + name / 2;
    lines.relocationY = lines.nameY + name / 2 + caption / 2 + 1;
    lines.folderY = relocationLine
                        ? lines.relocationY + caption / 2 + QFontMetricsF(folderFont()).height() / 2
                        : lines.relocationY;
    return lines;
}

// The width a status cell takes for `file`, laid out as it is painted.
int statusCellWidth(const MediaFile& file) {
    const QRect unbounded(0, 0, 10'000, MediaTableDelegate::rowHeight);
    CellWriter writer(nullptr, unbounded);
    writeStatus(writer, file, QImage(), false);
    return int(std::ceil(writer.x())); // its trailing gap is the cell's right padding
}

} // namespace

MediaTableDelegate::ColumnWidths MediaTableDelegate::statusColumnWidths() {
    ColumnWidths widths;
    for (int status = 0; status <= int(MediaFileStatus::error); ++status) {
        for (const bool relocated : {false, true}) {
            MediaFile file;
            file.status = MediaFileStatus(status);
            if (relocated)
                file.matchedPath = QStringLiteral("/");
            widths.minimum = std::max(widths.minimum, statusCellWidth(file));
            file.matchedPath = QStringLiteral("/");
            file.isProtected = true;
            widths.ideal = std::max(widths.ideal, statusCellWidth(file));
        }
    }
    return widths;
}

int MediaTableDelegate::sizeColumnWidth() {
    // The widest texts of each unit (three digits, the most fraction digits) and the em dash.
    static const QStringList widest{QStringLiteral("999 bytes"), QStringLiteral("999 KB"),
                                    QStringLiteral("999.9 MB"),  QStringLiteral("999.99 GB"),
                                    QStringLiteral("999.99 TB"), MediaBadges::sizeText(0)};
    const QFontMetricsF metrics(Font::brandMono(11, Font::Weight::bold));
    qreal text = 0;
    for (const QString& size : widest)
        text = std::max(text, metrics.horizontalAdvance(size));
    // The cell's padding either side; the cell's text room ends a pixel before its right edge.
    return int(std::ceil(text)) + 4 + 4 + 2;
}

int MediaTableDelegate::threeLineHeight() {
    // The third line pushes the folder line down by its height: the row grows as much, so the folder
    // keeps the room below it that it has in a row of two lines.
    static const int threeLines =
        rowHeight + int(std::ceil(nameLines(0, true).folderY - nameLines(0, false).folderY));
    return threeLines;
}

int MediaTableDelegate::heightOf(const MediaFile& file) {
    return MediaFilterIndex::hasRelocationLine(file) ? threeLineHeight() : rowHeight;
}

MediaTableDelegate::MediaTableDelegate(MediaThumbnailStore* thumbnails, QObject* parent)
    : QStyledItemDelegate(parent), m_thumbnails(thumbnails) {}

QSize MediaTableDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* file =
        static_cast<const MediaFile*>(index.data(MediaTableModel::fileRole).value<const void*>());
    return {QStyledItemDelegate::sizeHint(option, index).width(), file ? heightOf(*file) : rowHeight};
}

void MediaTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const auto* file =
        static_cast<const MediaFile*>(index.data(MediaTableModel::fileRole).value<const void*>());
    if (!file)
        return;
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    // The current cell is part of its row: no block of its own inside the selection.
    background.state &= ~QStyle::State_HasFocus;
    QStyle* style = option.widget ? option.widget->style() : nullptr;
    if (style)
        style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setClipRect(option.rect);
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    layoutCell(painter, *file, index.column(), option.rect,
               selected ? option.palette.color(QPalette::HighlightedText) : QColor());
    // The keyboard's row, where no selection shows it, wears the ring round the whole row: each
    // cell paints its part.
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (!selected && view && view->hasFocus() && view->currentIndex().row() == index.row()) {
        const QRect row(view->viewport()->rect().left(), option.rect.top(), view->viewport()->width(),
                        option.rect.height());
        paintFocusRing(*painter, QRectF(row), 4, Color::brandBackground());
    }
    painter->restore();
}

QList<MediaTableDelegate::Mark> MediaTableDelegate::marks(const MediaFile& file, int column,
                                                          const QRect& rect) const {
    return layoutCell(nullptr, file, column, rect);
}

QList<MediaTableDelegate::Mark> MediaTableDelegate::layoutCell(QPainter* painter, const MediaFile& file,
                                                               int column, const QRect& rect,
                                                               const QColor& ink) const {
    QList<Mark> marks;
    CellWriter writer(painter, rect, ink);
    const qreal y = writer.centreY();
    switch (MediaTableModel::Column(column)) {
    case MediaTableModel::status: {
        QImage image;
        bool loading = false;
        if (file.isOnDisk() && m_thumbnails) {
            // Asking for the picture only here means only painted (visible) rows ever request one.
            image = painter ? m_thumbnails->thumbnail(file) : QImage();
            loading = m_thumbnails->isLoading(file.id);
        }
        marks = writeStatus(writer, file, image, loading);
        break;
    }
    case MediaTableModel::fileName: {
        const NameLines lines = nameLines(rect.top(), MediaFilterIndex::hasRelocationLine(file));
        const qreal iconRoom = file.duplicateOfPath ? 16 : 0;
        writer.text(file.fileName(), nameFont(), Color::brandTextPrimary(), lines.nameY,
                    rect.width() - 8 - iconRoom);
        if (file.duplicateOfPath)
            marks.append(
                {writer.symbol(QStringLiteral("doc.on.doc.fill"), Color::brandCyan(), 10, lines.nameY),
                 QStringLiteral("Duplicate of: ") + *file.duplicateOfPath});
        const qreal lineY = lines.relocationY;
        const QString arrow = QStringLiteral("→ ");
        writer.newLine();
        if (file.matchedPath) {
            writer.text(arrow + path::lastPathComponent(*file.matchedPath), captionFont(),
                        file.status == MediaFileStatus::matching ? Color::darkSystemBlue()
                                                                 : Color::darkSystemCyan(),
                        lineY);
        } else if (file.status == MediaFileStatus::moved && file.movedToPath) {
            writer.text(arrow + path::lastPathComponent(*file.movedToPath), captionFont(),
                        Color::darkSystemPurple(), lineY);
        } else if (file.status == MediaFileStatus::transcoded && file.transcodedPath) {
            writer.text(arrow + path::lastPathComponent(*file.transcodedPath), captionFont(),
                        Color::darkSystemIndigo(), lineY);
            if (file.transcodedSize)
                writer.text(QStringLiteral("(") + formatFileByteCount(*file.transcodedSize) + u')',
                            captionFont(), Color::darkSystemGreen(), lineY);
        }
        writer.newLine();
        // Cut in the middle: the folder's own name, at the end, is what tells rows apart.
        writer.text(elidedPath(path::deletingLastPathComponent(file.path), QFontMetricsF(folderFont()),
                               rect.right() - 4 - (rect.left() + 4)),
                    folderFont(), Color::brandTextTertiary(), lines.folderY);
        break;
    }
    case MediaTableModel::size: {
        const bool large = MediaBadges::isLargeSize(file.size);
        writer.text(MediaBadges::sizeText(file.size),
                    Font::brandMono(11, large ? Font::Weight::bold : Font::Weight::regular),
                    large ? Color::brandTextPrimary() : Color::brandTextSecondary(), y);
        break;
    }
    case MediaTableModel::usage: {
        if (file.isProtected)
            marks.append({writer.symbol(QStringLiteral("lock.fill"), Color::brandCyan(), 9, y),
                          QString::fromUtf8(MediaBadges::protectedTooltip)});
        if (file.proxyPath)
            marks.append({writer.symbol(QStringLiteral("film.stack"), Color::brandCyan(), 9, y),
                          QString::fromUtf8(MediaBadges::proxyTooltip)});
        const MediaBadges::UsageMark mark = MediaBadges::usageMark(file);
        marks.append({writer.pill(mark.pillText, mark.pillColor, y), mark.pillTooltip});
        if (!mark.symbol.isEmpty())
            marks.append({writer.symbol(mark.symbol, mark.symbolColor, 10, y), mark.symbolTooltip});
        break;
    }
    case MediaTableModel::storage: {
        marks.append({QRectF(), path::deletingLastPathComponent(file.path)});
        writer.symbol(MediaBadges::storageIcon(file), brandColor(file.storageType), 10, y);
        writer.text(file.displayPath(), Font::brandMono(10), Color::brandTextSecondary(), y);
        break;
    }
    case MediaTableModel::sequence: {
        const QString joined = file.sequenceNamesText();
        marks.append({QRectF(), joined});
        const qreal room = rect.width() - 8 - (file.hasUnattributedSequenceUsage ? 16 : 0);
        writer.text(joined.isEmpty() ? QStringLiteral("—") : joined, captionFont(), secondaryText(), y, room);
        if (file.hasUnattributedSequenceUsage)
            marks.append(
                {writer.symbol(QStringLiteral("exclamationmark.shield.fill"), Color::brandAmber(), 10, y),
                 QStringLiteral("Some timeline usage could not be attributed and remains protected")});
        break;
    }
    case MediaTableModel::projects: {
        const qreal room = rect.width() - 8 - (file.alternativePaths.isEmpty() ? 0 : 16);
        writer.text(file.projectNames.join(QStringLiteral(", ")), captionFont(), secondaryText(), y, room);
        if (!file.alternativePaths.isEmpty())
            marks.append(
                {writer.symbol(QStringLiteral("arrow.triangle.merge"), Color::darkSystemCyan(), 10, y),
                 consolidatedTooltip(file)});
        break;
    }
    case MediaTableModel::columnCount_:
        break;
    }
    return marks;
}

QString MediaTableDelegate::tooltipAt(const MediaFile& file, int column, const QRect& rect,
                                      const QPoint& point) const {
    QString cellTooltip;
    for (const Mark& mark : marks(file, column, rect)) {
        if (mark.rect.isNull()) {
            cellTooltip = mark.tooltip;
            continue;
        }
        if (mark.rect.adjusted(-1, -1, 1, 1).contains(point))
            return mark.tooltip;
    }
    return cellTooltip;
}

bool MediaTableDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const auto* file =
        static_cast<const MediaFile*>(index.data(MediaTableModel::fileRole).value<const void*>());
    const QString text = file ? tooltipAt(*file, index.column(), option.rect, event->pos()) : QString();
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), text, view);
    return true;
}

} // namespace tarnwick
