#pragma once

#include "ui/cards/ClipCard.h"

namespace tarnwick {

class ThumbnailGenerator;
struct ViewFactories;

// Image stills read at card size on the generator's decoding slots.
CardStillLoader cardStillLoader(ThumbnailGenerator& generator);

// Registers the card mode with the window: selection shared with the table, staging through the
// window's delete-safety check.
void installCardViews(ViewFactories& factories, ThumbnailGenerator& generator);

} // namespace tarnwick
