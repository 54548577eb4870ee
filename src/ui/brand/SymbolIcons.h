#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace tarnwick {

// The freedesktop theme icon that stands for a symbol name ("trash" -> "user-trash"); empty when
// no theme icon fits.
QString themeIconName(const QString& symbolName);

// Whether the symbol name has a drawing of our own (every name the views use must).
bool hasDrawing(const QString& symbolName);

// The icon for a symbol name in `tint` (the text colour when invalid). Never null.
// Our own drawing comes first, so the icons keep one style and honour the tint on every desktop;
// the theme's icon only stands in for a name we have no drawing for.
QIcon symbolIcon(const QString& symbolName, const QColor& tint = QColor());

// The drawing alone, painted sharp at whatever size and pixel ratio it is asked for. A name
// without a drawing gets its initial in a circle.
QIcon drawnSymbolIcon(const QString& symbolName, const QColor& tint);

} // namespace tarnwick
