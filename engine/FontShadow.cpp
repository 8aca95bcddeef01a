#include "engine/FontShadow.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/TextUtil.h"

namespace KelpaEngine {

namespace {

// A walk stops before the pen leaves this range, so that pen and box
// arithmetic stays well inside 32 bits whatever the text's length.
constexpr int32_t kPenLimit = 1 << 28;

// Decodes the code point at *cursor and moves past it, never past the NUL.
uint32_t nextCodePoint(const char** cursor) {
    const char* p = *cursor;
    uint32_t cp = utf8Decode(p);
    uint32_t len = utf8Length(cp);
    uint32_t i = 1;
    while (i < len && p[i] != '\0') ++i;
    *cursor = p + i;
    return cp;
}

int32_t countCallback(Font*, FontPen*, const GlyphRecord*, void*) { return kGlyphDraw; }

// The inked box of a text relative to the pen's start. A glyph whose
// bitmap starts left of or above the start widens the box that way, and
// render shifts the text by the same amount, so no pixel is lost.
struct TextBox {
    int32_t minX = 0;
    int32_t minY = 0;
    int32_t maxX = 1;
    int32_t maxY = 1;
};

struct RenderTarget {
    uint8_t* rgba;
    int32_t pitch;
    int32_t columns;
    int32_t rows;
    int32_t dx;
    int32_t dy;
};

int32_t boxCallback(Font*, FontPen* pen, const GlyphRecord* g, void* context) {
    TextBox* box = static_cast<TextBox*>(context);
    int32_t x = pen->x + g->left;
    int32_t y = pen->y + g->top;
    box->maxX = std::max(box->maxX, x + g->width);
    box->maxY = std::max(box->maxY, y + g->rows);
    if (g->width > 0 && g->rows > 0) {
        box->minX = std::min(box->minX, x);
        box->minY = std::min(box->minY, y);
    }
    return kGlyphDraw;
}

int32_t renderCallback(Font*, FontPen* pen, const GlyphRecord* g, void* context) {
    const RenderTarget* t = static_cast<const RenderTarget*>(context);
    if (!g->coverage) return kGlyphDraw;
    const int32_t x0 = pen->x + g->left + t->dx;
    const int32_t y0 = pen->y + g->top + t->dy;
    // Only the part of the glyph's box inside the buffer is visited.
    const int32_t rBegin = std::max(0, -y0);
    const int32_t rEnd = std::min(g->rows, t->rows - y0);
    const int32_t jBegin = std::max(0, -x0);
    const int32_t jEnd = std::min(g->width, t->columns - x0);
    for (int32_t r = rBegin; r < rEnd; ++r) {
        const uint8_t* src = g->coverage + static_cast<size_t>(r) * static_cast<size_t>(g->width);
        uint8_t* dst = t->rgba + static_cast<size_t>(y0 + r) * static_cast<size_t>(t->pitch);
        for (int32_t j = jBegin; j < jEnd; ++j) {
            uint8_t* px = dst + static_cast<size_t>(x0 + j) * 4;
            uint8_t alpha = static_cast<uint8_t>(src[j] * pen->a / 255);
            px[0] = pen->r;
            px[1] = pen->g;
            px[2] = pen->b;
            // Neighbouring glyph boxes may overlap; the stronger coverage
            // wins so that a later box does not erase an earlier glyph.
            px[3] = std::max(px[3], alpha);
        }
    }
    return kGlyphDraw;
}

}  // namespace

int32_t FontShadow::walkText(const char* text, GlyphCallback callback, void* context) {
    if (!text || !callback) return 0;
    beginWalk();
    pen_.x = 0;
    pen_.y = 0;
    cursor_ = text;
    if (*cursor_ == '\0') return 0;
    // Baseline of the first line, with a small margin above the tallest ink.
    const double asc = ascent();
    const int32_t baseline = (asc > 0 && asc < kPenLimit) ? static_cast<int32_t>(asc) + 3 : 3;

    int32_t count = 0;
    while (*cursor_ != '\0') {
        uint32_t cp = nextCodePoint(&cursor_);
        if (cp == 0) continue;
        if (cp == '\n' || cp == '\r') {
            pen_.x = 0;
            if (pen_.y > kPenLimit - size_) break;
            pen_.y += size_;
            const uint32_t other = (cp == '\n') ? '\r' : '\n';
            const char* peek = cursor_;
            if (*peek != '\0' && nextCodePoint(&peek) == other) cursor_ = peek;
            continue;
        }
        GlyphBitmap bm{};
        if (!loadGlyph(cp, &bm)) continue;
        if (bm.width < 0 || bm.rows < 0 || bm.width > kPenLimit || bm.rows > kPenLimit) continue;
        if (bm.width > 0 && bm.rows > 0 && !bm.coverage) continue;
        if (bm.left < -kPenLimit || bm.left > kPenLimit || bm.top < -kPenLimit || bm.top > kPenLimit) continue;
        GlyphRecord rec{baseline - bm.top, bm.left, bm.width, bm.rows, bm.coverage, cp};
        const int32_t action = callback(this, &pen_, &rec, context);
        if (action == kGlyphStop) break;
        if (action == kGlyphSkip) continue;
        ++count;
        const int64_t next = static_cast<int64_t>(pen_.x) + bm.advance;
        if (next > kPenLimit || next < -kPenLimit) break;
        pen_.x = static_cast<int32_t>(next);
    }
    return count;
}

namespace {
TextBox measureBox(Font* font, const char* text, int32_t* count) {
    TextBox box;
    *count = font->walkText(text, &boxCallback, &box);
    return box;
}
}  // namespace

int32_t FontShadow::measure(FontExtent* out, const char* text, int32_t /*flag*/) {
    int32_t count = 0;
    TextBox box = measureBox(this, text, &count);
    if (out) {
        out->width = box.maxX - box.minX;
        out->height = box.maxY - box.minY;
    }
    return count;
}

int32_t FontShadow::countGlyphs(const char* text) { return walkText(text, &countCallback, nullptr); }

int32_t FontShadow::render(uint8_t* rgba, int32_t pitch, const char* text, int32_t /*originX*/,
                           int32_t /*originY*/, int32_t /*flag*/) {
    if (!rgba || pitch < 4 || !text) return 0;
    // The same box measure reports: the buffer is at least that large, and
    // the text is shifted so that ink left of or above its start fits too.
    int32_t measured = 0;
    TextBox box = measureBox(this, text, &measured);
    RenderTarget target{rgba, pitch, std::min(box.maxX - box.minX, pitch / 4), box.maxY - box.minY, -box.minX,
                        -box.minY};
    return walkText(text, &renderCallback, &target);
}

}  // namespace KelpaEngine
