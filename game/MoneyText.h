// Money as the game shows it: the money text ("$1,234,567.05") and the
// picture glyphs it is drawn with, right-aligned.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/Graphics.h"
#include "engine/Heap.h"
#include "engine/Image.h"

namespace mekko {

// The longest money text, "$999,999,999,999,999.99", and its terminator.
constexpr size_t kMoneyTextSize = 24;

// Decimal digits of value with a comma before every group of three.
// Writes at most size bytes, always terminated; returns the length written.
int32_t formatWithCommas(char* out, size_t size, uint64_t value);

// "$1,234,567.05": dollars capped at 999,999,999,999,999 (the cents then
// show 99); negative dollars count as 0 and cents are kept within 0 to 99.
// Returns the length written (at most size - 1).
int32_t formatMoney(char* out, size_t size, int64_t dollars, int64_t cents);

// Picture glyph sets for money texts.
enum class GlyphSize { Medium, Small };
// Medium: 14 images a colour ('0'..'9', ':', ',', '$', '.'); small: 13
// ('0'..'9', ',', '$', '.'). With both colours the yellow set follows the
// white one.
constexpr int32_t kMediumGlyphs = 14;
constexpr int32_t kSmallGlyphs = 13;
// Loads the white set, then with withYellow the yellow one after it, into
// out (room for 28 medium or 26 small); returns the count loaded in place.
int32_t loadGlyphs(KelpaEngine::Graphics* graphics, GlyphSize size, bool withYellow,
                   KelpaEngine::RefPtr<KelpaEngine::Image>* out);

struct DigitLayout {
    int32_t digitStep;
    int32_t markStep;
    int32_t markShift;
};
constexpr DigitLayout kSmallDigits{13, 7, 6};
constexpr DigitLayout kMediumDigits{21, 11, 10};

// Draws text right-aligned at right with the glyph set (yellow adds the
// set's size to the index); characters without a glyph are skipped.
// Returns the x of the first character's glyph (right when none is drawn).
int32_t drawDigitString(KelpaEngine::Graphics* graphics, const KelpaEngine::RefPtr<KelpaEngine::Image>* glyphs,
                        GlyphSize size, bool yellow, const char* text, int32_t right, int32_t y,
                        const DigitLayout& layout);

}  // namespace mekko
