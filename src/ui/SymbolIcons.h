#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace tarnwick {

// The freedesktop theme icon that stands for a symbol name ("trash" -> "user-trash"); empty when
// no theme icon fits.
QString themeIconName(const QString& symbolName);

// The icon for a symbol name: the theme's icon when the theme has it, else a small drawing in
// `tint` (the text colour when invalid). Never null.
QIcon symbolIcon(const QString& symbolName, const QColor& tint = QColor());

// The drawn stand-in alone (tests and themes without icons).
QIcon drawnSymbolIcon(const QString& symbolName, const QColor& tint);

} // namespace tarnwick
