// Platform-neutral text layout: walking UTF-8 text glyph by glyph, line
// breaks, measuring and rendering into an RGBA buffer. Loading and
// rasterising glyphs is left to the platform font (iOS::FontImp).
#pragma once

#include <cstdint>

#include "engine/Font.h"
#include "engine/Heap.h"

namespace KelpaEngine {

class Application;

class FontShadow : public Font {
public:
    // Reads the TrueType asset file and opens it at width x height pixels
    // (rendered at 1.5 times); null when the file is missing or is not a
    // usable font. Implemented by the platform font.
    static RefPtr<Font> create(Application* app, const char* fileName, int32_t width, int32_t height);
    static RefPtr<Font> create(const RefPtr<Application>& app, const char* fileName, int32_t width,
                               int32_t height) {
        return create(app.get(), fileName, width, height);
    }

    // Sizes are limited so that one glyph's bitmap stays a few megabytes.
    static constexpr int32_t kMaxSize = 2048;

    int32_t measure(FontExtent* out, const char* text, int32_t flag = 1) override;
    int32_t countGlyphs(const char* text) override;
    int32_t render(uint8_t* rgba, int32_t pitch, const char* text, int32_t originX = 0, int32_t originY = 0,
                   int32_t flag = 1) override;
    int32_t walkText(const char* text, GlyphCallback callback, void* context) override;
    int32_t getSize() const override { return size_; }

protected:
    // A rasterised glyph as the platform font hands it over.
    struct GlyphBitmap {
        int32_t left;              // bitmap left bearing
        int32_t top;               // bitmap top above the baseline
        int32_t width;
        int32_t rows;
        const uint8_t* coverage;   // rows * width bytes, valid until the next load
        int32_t advance;           // horizontal advance in whole pixels
    };

    explicit FontShadow(int32_t size) : size_(size) {}

    // Called once at the start of every walk.
    virtual void beginWalk() = 0;
    // Loads and rasterises the glyph of a code point; false when it cannot
    // be loaded, and the walk then skips it.
    virtual bool loadGlyph(uint32_t codePoint, GlyphBitmap* out) = 0;
    // Distance from a line's top to its baseline, in rendered pixels.
    virtual double ascent() = 0;

    int32_t size_;
    const char* cursor_ = nullptr;
};

}  // namespace KelpaEngine
