// Money texts of the menu screens drawn with the medium picture glyphs,
// placed from the last character to the first against a right edge: a
// digit or '$' takes 21 units, a ',', '.' or ':' 11; other characters take
// no room and are not drawn.
#pragma once

#include <cstdint>

#include "engine/Graphics.h"
#include "engine/Heap.h"
#include "engine/Image.h"

namespace mekko {

// The width the text takes.
int32_t glyphRunWidth(const char* text);

// The right edge that centres the text on the 540-wide design (no layout
// offset): W + (540 - W) / 2, the halving truncated toward zero.
int32_t centredRightEdge(const char* text);

// Draws text with its right edge at right and glyph tops at y, from a
// medium set (28 images with the yellow one when yellow). Returns the left
// edge of the first character's 21-unit slot, which is a leading '$''s own
// left edge (right when nothing is drawn).
int32_t drawGlyphRun(KelpaEngine::Graphics* graphics, const KelpaEngine::RefPtr<KelpaEngine::Image>* glyphs,
                     bool yellow, const char* text, int32_t right, int32_t y);

}  // namespace mekko
