#pragma once

#include <cstddef>
#include <string_view>

// UTF-8 checks over a whole inflated project, fast on the ASCII that makes up most of it.
namespace tarnwick::prproj {

// Rejects overlong forms, surrogates and values beyond U+10FFFF, like a strict decoder.
// Large texts are checked in up to `threads` pieces at once.
bool isValidUtf8(std::string_view text, int threads = 1);

// Extended grapheme clusters of valid UTF-8 text (CR LF is one). `crlfPairs` is the number of CR LF
// pairs in the text, which the marker pass counts anyway.
std::size_t countCharacters(std::string_view text, std::size_t crlfPairs);

} // namespace tarnwick::prproj
