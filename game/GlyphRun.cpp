#include "game/GlyphRun.h"

#include "engine/Application.h"
#include "game/MoneyText.h"

namespace mekko {

int32_t glyphRunWidth(const char* text) {
    int32_t w = 0;
    for (const char* p = text; p && *p; ++p) {
        const char c = *p;
        if ((c >= '0' && c <= '9') || c == '$') {
            w += 21;
        } else if (c == ',' || c == '.' || c == ':') {
            w += 11;
        }
    }
    return w;
}

int32_t centredRightEdge(const char* text) {
    const int32_t w = glyphRunWidth(text);
    return w + (KelpaEngine::kDesignWidth - w) / 2;
}

int32_t drawGlyphRun(KelpaEngine::Graphics* graphics, const KelpaEngine::RefPtr<KelpaEngine::Image>* glyphs,
                     bool yellow, const char* text, int32_t right, int32_t y) {
    // The medium digit layout steps 21 and 11 with marks shifted 10 right
    // of the digit position: the same places, counted from right - 21.
    return drawDigitString(graphics, glyphs, GlyphSize::Medium, yellow, text, right - 21, y, kMediumDigits);
}

}  // namespace mekko
