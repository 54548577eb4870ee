#pragma once

#include <QFont>
#include <QString>

namespace tarnwick::Font {

enum class Weight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

// The face the text family uses for a weight ("DMSans9pt-Bold", ...).
QString brandFace(Weight weight);
// The face the monospaced family uses for a weight ("SpaceMono-Regular" or "SpaceMono-Bold").
QString brandMonoFace(Weight weight);

// The font of a face at `size` logical pixels (one macOS point is one logical pixel). When the
// face's family is not installed the system font (or the system's fixed font) stands in, with
// the face's weight.
QFont face(const QString& faceName, qreal size);
QFont brand(qreal size, Weight weight = Weight::regular);
QFont brandMono(qreal size, Weight weight = Weight::regular);

// Whether the family behind a face is available to the process.
bool isFaceAvailable(const QString& faceName);

} // namespace tarnwick::Font
