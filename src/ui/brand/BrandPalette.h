#pragma once

#include <QColor>
#include <QList>
#include <QString>

#include <initializer_list>

namespace tarnwick::Color {

// The brand palette: opaque sRGB colours, created once on first use.
const QColor& brandBackground();
const QColor& brandSurface();
const QColor& brandSurfaceRaised();
const QColor& brandControl();
const QColor& brandSurfaceSunken();
const QColor& brandBorder();
const QColor& brandTextPrimary();
const QColor& brandTextSecondary();
const QColor& brandTextTertiary();
const QColor& brandTextMuted();
const QColor& brandAccent();
const QColor& brandAccentDeep();
const QColor& brandAccentDim();
const QColor& brandCyan();
const QColor& brandGreen();
const QColor& brandAmber();
const QColor& brandRed();

// The platform's standard colours, for the views that draw with them beside the brand ones (the
// welcome guide, the tool sheets, the placeholders): light-appearance values...
const QColor& systemBlue();
const QColor& systemGreen();
const QColor& systemOrange();
const QColor& systemRed();
const QColor& systemPurple();
const QColor& systemTeal();
const QColor& systemIndigo();
const QColor& systemGray();
// ...and their dark-appearance values (the media table, the sidebar rows, the recycle bin's sheets).
const QColor& darkSystemBlue();
const QColor& darkSystemCyan();
const QColor& darkSystemGreen();
const QColor& darkSystemOrange();
const QColor& darkSystemRed();
const QColor& darkSystemYellow();
const QColor& darkSystemPurple();
const QColor& darkSystemIndigo();
// The green of a clean-up that went well (the recycle bin's result sheets and cards).
const QColor& successGreen();
// White at the platform's secondary and tertiary label opacities, for text on dark cards.
const QColor& secondaryLabel();
const QColor& tertiaryLabel();
// The backgrounds of the floating cards (welcome guide, modal sheets of the recycle bin) and the
// fill of a placeholder thumbnail; the cards draw them slightly translucent.
const QColor& welcomeCardBackground();
const QColor& modalCardBackground();
const QColor& placeholderFill();

// Translucent shades, each named by what it draws.
// The shadows of the floating cards: the welcome guide's, and the analysis overlay's and the
// recycle bin's modal sheets'.
const QColor& welcomeCardShadow();
const QColor& sheetCardShadow();
// The dimming behind the welcome guide, the analysis overlay and a modal sheet of the recycle bin.
const QColor& welcomeBackdrop();
const QColor& analyzingBackdrop();
const QColor& modalBackdrop();
// On a clip card's picture: a plain badge's backing and rim, a solid badge's text, the timecode
// bar, the round buttons (at rest and pressed), the button icons and the unselected mark.
const QColor& pictureBadgeBacking();
const QColor& pictureBadgeRim();
const QColor& solidBadgeText();
const QColor& timecodeBarBacking();
const QColor& pictureButtonBacking();
const QColor& pictureButtonPressedBacking();
const QColor& pictureButtonIcon();
const QColor& unselectedMark();
// The description under the title of a prominent (filled) choice button.
const QColor& prominentButtonDetail();
// The text on a project's tile of the storage map (opaque black), and its reclaimable line.
const QColor& mapTileInk();
const QColor& mapTileDetail();
// A media row's thumbnail: the rim round a picture, and the fill while it loads or when there is none.
const QColor& thumbnailRim();
const QColor& thumbnailPending();
const QColor& thumbnailMissing();

// `color` with its alpha set to `opacity` (0...1).
QColor withOpacity(const QColor& color, qreal opacity);
// `color` with its 8-bit alpha set to `alpha` (0...255), for translucent colours given in bytes.
QColor withAlpha(const QColor& color, int alpha);

// The colour as a style sheet writes it: "#rrggbb", or "#aarrggbb" when it is translucent.
QString styleSheetValue(const QColor& color);
// `pattern` with %1, %2, ... replaced by `colors` as a style sheet writes them.
QString styleSheet(QString pattern, std::initializer_list<QColor> colors);

struct NamedColor {
    QString name;
    QColor color;
};
// The brand colours above, in palette order, by name (for previews and tests).
QList<NamedColor> brandPalette();

} // namespace tarnwick::Color
