// Text rendering interface: UTF-8 text is rendered at 1.5 times the
// requested pixel size into an RGBA buffer, which is uploaded into a texture
// and drawn back at 1/1.5 so that text stays sharp on dense screens.
#pragma once

#include <cstdint>

namespace KelpaEngine {

class Font;

// The text's colour and the pen, as handed to a glyph callback.
struct FontPen {
    uint8_t r, g, b, a;
    int32_t x, y;
};

// One rendered glyph, placed relative to the pen.
struct GlyphRecord {
    int32_t top;               // row of the bitmap's first line below the pen
    int32_t left;              // bitmap left bearing (may be negative)
    int32_t width;             // bitmap width in pixels
    int32_t rows;              // bitmap rows
    const uint8_t* coverage;   // rows * width bytes, 0..255, rows width bytes apart
    uint64_t codePoint;
};

// What a glyph callback asks of the walk.
enum GlyphAction : int32_t {
    kGlyphDraw = 0,  // draw and advance
    kGlyphStop = 1,  // end the walk
    kGlyphSkip = 2,  // no advance, not counted
};

using GlyphCallback = int32_t (*)(Font* font, FontPen* pen, const GlyphRecord* glyph, void* context);

struct FontExtent {
    int32_t width;
    int32_t height;
};

class Font {
public:
    virtual ~Font() = default;

    // Colour used by render; opaque white on creation.
    void setColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
        pen_.r = r;
        pen_.g = g;
        pen_.b = b;
        pen_.a = a;
    }

    // Size of the RGBA buffer that render needs for the same text (at least
    // 1 x 1). Returns the number of glyphs. The flag takes no part.
    virtual int32_t measure(FontExtent* out, const char* text, int32_t flag = 1) = 0;
    // Requested pixel size (rendered at 1.5 times); 0 on success, else an
    // error code and the size is unchanged.
    virtual int32_t setSize(int32_t size) = 0;
    // Glyphs of the text that render would draw.
    virtual int32_t countGlyphs(const char* text) = 0;
    // Renders into a buffer of at least measure(text).height rows of pitch
    // bytes; writes stay inside the measured box and pitch / 4 columns.
    // Origin and flag take no part. Returns the number of glyphs drawn.
    virtual int32_t render(uint8_t* rgba, int32_t pitch, const char* text, int32_t originX = 0,
                           int32_t originY = 0, int32_t flag = 1) = 0;
    // Lays the text out glyph by glyph, calling back for each one.
    virtual int32_t walkText(const char* text, GlyphCallback callback, void* context) = 0;
    virtual int32_t getSize() const = 0;

protected:
    Font() = default;
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    FontPen pen_{255, 255, 255, 255, 0, 0};
};

}  // namespace KelpaEngine
