#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace tarnwick {

class SymbolIconCanvas;

using SymbolDrawing = void (*)(SymbolIconCanvas&);

// Our own line drawing for a symbol name; null when the name has none.
SymbolDrawing findSymbolDrawing(const QString& symbolName);

// Every symbol name with a drawing, sorted.
QStringList drawnSymbolNames();

// Adds one drawing to the table; each name is drawn once.
void putSymbolDrawing(QHash<QString, SymbolDrawing>& table, const char* name, SymbolDrawing drawing);

// The table's parts, one file each.
void addMediaDrawings(QHash<QString, SymbolDrawing>& table);
void addArrowDrawings(QHash<QString, SymbolDrawing>& table);

} // namespace tarnwick
