#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>

namespace tarnwick {

struct MediaFile;

// The fonts of a card, made once per card rather than on every paint.
struct CardFonts {
    QFont name;        // 12 bold monospaced
    QFont status;      // 10
    QFont size;        // 12 bold monospaced
    QFont project;     // 11
    QFont summary;     // 11 medium
    QFont badge;       // 10 semibold
    QFont placeholder; // 11
    QFont extension;   // 11 monospaced
    QFont timecode;    // 11 bold monospaced
    QFont duration;    // 11 monospaced

    static CardFonts make();
};

// One drawn text of the details: already elided to its room.
struct CardInfoText {
    QString text;
    QRect rect;
    QColor color;
};

// A help text and the area of the card it belongs to.
struct CardHelp {
    QString text;
    QRect area;
};

// The file name line and the details row of a card at one width: the texts, elided, and where
// each goes. Worked out once per file and width; painting and tooltips both read it.
struct CardInfoLayout {
    static constexpr int top = 190 + 3 + 12; // under the preview and the scrub strip, padded 12
    static constexpr int inset = 12;
    static constexpr int rowHeight = 16;
    static constexpr int shieldSize = 10;

    int width = 0;
    CardInfoText name;
    CardInfoText status;
    CardInfoText size;
    CardInfoText summary; // empty text when the file is on no timeline
    CardInfoText project;
    QRect shield; // empty unless some timeline usage is unattributed
    QString summaryHelp;

    static CardInfoLayout make(const MediaFile& file, int width, const CardFonts& fonts);
    // The help text under a point of the card; empty text where there is none.
    CardHelp helpAt(QPoint point) const;
};

} // namespace tarnwick
