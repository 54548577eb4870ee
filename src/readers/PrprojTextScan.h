#pragma once

#include "readers/PrprojMarkerIndex.h"
#include "readers/PrprojTextBuffer.h"
#include "readers/PrprojTimelineScan.h"

#include <cstddef>
#include <string_view>

// The one pass over an inflated project that every later stage builds on: the marker index, the
// UTF-8 check, the character count and the sequence identifiers, read piece by piece while the
// pieces are in the cache.
namespace tarnwick::prproj {

struct TextScan {
    MarkerIndex index;
    SequenceScan sequences; // the same as scanSequences(text, index)
    std::size_t characters = 0;
    std::size_t bytes = 0; // the text's size
    bool validUtf8 = true;
};

// Large texts are read in up to `threads` pieces at once. The lines of the index view `text`.
TextScan scanText(std::string_view text, int threads);
// The same over a text the scan takes: its marked lines are moved together inside it as they are
// read and the rest of its pages are handed back, so the text and its index are never held in full
// at the same time. The index keeps the buffer (MarkerIndex::keptText).
TextScan scanText(TextBuffer&& text, int threads);

// How many pieces a text of this size is read in.
int scanThreads(std::size_t bytes);

} // namespace tarnwick::prproj
