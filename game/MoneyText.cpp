#include "game/MoneyText.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace mekko {

using namespace KelpaEngine;

int32_t formatWithCommas(char* out, size_t size, uint64_t value) {
    if (!out || size == 0) return 0;
    char digits[24];
    int n = std::snprintf(digits, sizeof digits, "%" PRIu64, value);
    char grouped[32];
    int g = 0;
    for (int i = 0; i < n; ++i) {
        grouped[g++] = digits[i];
        int rest = n - 1 - i;
        if (rest > 0 && rest % 3 == 0) grouped[g++] = ',';
    }
    grouped[g] = '\0';
    int written = std::snprintf(out, size, "%s", grouped);
    return written < int(size) ? written : int(size) - 1;
}

int32_t formatMoney(char* out, size_t size, int64_t dollars, int64_t cents) {
    if (!out || size == 0) return 0;
    constexpr int64_t kCap = 999999999999999LL;
    if (dollars < 0) dollars = 0;
    if (cents < 0) cents = 0;
    if (cents > 99) cents = 99;
    if (dollars > kCap) {
        dollars = kCap;
        cents = 99;
    }
    char grouped[32];
    formatWithCommas(grouped, sizeof grouped, uint64_t(dollars));
    int written = std::snprintf(out, size, "$%s.%02d", grouped, int(cents));
    if (written < 0) {
        out[0] = '\0';
        return 0;
    }
    return written < int(size) ? written : int(size) - 1;
}

namespace {

const char* const kMediumNames[kMediumGlyphs] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                                                 "colon", "comma", "dollar", "period"};
const char* const kSmallNames[kSmallGlyphs] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                                               "comma", "dollar", "period"};

int32_t glyphIndex(GlyphSize size, char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (size == GlyphSize::Medium) {
        switch (c) {
            case ':': return 10;
            case ',': return 11;
            case '$': return 12;
            case '.': return 13;
            default: return -1;
        }
    }
    switch (c) {
        case ',': return 10;
        case '$': return 11;
        case '.': return 12;
        default: return -1;
    }
}

}  // namespace

int32_t loadGlyphs(Graphics* graphics, GlyphSize size, bool withYellow, RefPtr<Image>* out) {
    if (!out) return 0;
    const bool medium = size == GlyphSize::Medium;
    const int32_t n = medium ? kMediumGlyphs : kSmallGlyphs;
    const char* const* names = medium ? kMediumNames : kSmallNames;
    const char* sets[2] = {medium ? "num_m" : "num_s", medium ? "num_y_m" : "num_y_s"};
    int32_t loaded = 0;
    for (int32_t set = 0; set < (withYellow ? 2 : 1); ++set) {
        for (int32_t i = 0; i < n; ++i) {
            char path[64];
            std::snprintf(path, sizeof path, "%s/%s_%s.png", sets[set], sets[set], names[i]);
            out[set * n + i] = Image::load(graphics, path);
            if (out[set * n + i]) ++loaded;
        }
    }
    return loaded;
}

int32_t drawDigitString(Graphics* graphics, const RefPtr<Image>* glyphs, GlyphSize size, bool yellow,
                        const char* text, int32_t right, int32_t y, const DigitLayout& layout) {
    if (!graphics || !glyphs || !text) return right;
    const int32_t setSize = size == GlyphSize::Medium ? kMediumGlyphs : kSmallGlyphs;
    int64_t digits = 0;
    int64_t marks = 0;
    int32_t firstX = right;
    for (size_t i = std::strlen(text); i-- > 0;) {
        char c = text[i];
        int32_t index = glyphIndex(size, c);
        if (index < 0) continue;
        bool digit = c >= '0' && c <= '9';
        int64_t x = int64_t(right) - layout.digitStep * digits - layout.markStep * marks;
        firstX = int32_t(x);
        int64_t drawX = (digit || c == '$') ? x : x + layout.markShift;
        const RefPtr<Image>& glyph = glyphs[index + (yellow ? setSize : 0)];
        if (glyph) graphics->drawImage(int(drawX), y, glyph);
        if (digit) {
            ++digits;
        } else {
            ++marks;
        }
    }
    return firstX;
}

}  // namespace mekko
