// The FreeType font: one TrueType face read from an asset file held in
// memory, rasterising glyphs to 8-bit anti-aliased coverage.
#pragma once

#include <cstdint>

#include "engine/FontShadow.h"
#include "engine/Heap.h"
#include "engine/Resource.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace KelpaEngine::iOS {

class FontImp : public FontShadow {
public:
    // Opens the font file's bytes at width x height pixels (rendered at 1.5
    // times); null when the bytes are not a scalable font with a Unicode
    // charmap or a size is outside 1..kMaxSize. The file is kept for the
    // face's lifetime. Bytes that are no such font are reported as a broken
    // asset under assetName, when given.
    static RefPtr<Font> createFromResource(const RefPtr<Resource>& file, int32_t width, int32_t height,
                                           const char* assetName = nullptr);

    ~FontImp() override;

    int32_t setSize(int32_t size) override;

protected:
    void beginWalk() override;
    bool loadGlyph(uint32_t codePoint, GlyphBitmap* out) override;
    double ascent() override;

private:
    FontImp(FT_LibraryRec_* library, FT_FaceRec_* face, const RefPtr<Resource>& file, int32_t size);
    // Scratch space for coverage that FreeType does not lay out as
    // width-byte rows; false when memory runs out.
    bool reserve(uint64_t bytes);

    FT_LibraryRec_* library_;
    FT_FaceRec_* face_;
    RefPtr<Resource> file_;
    uint8_t* scratch_ = nullptr;
    uint64_t scratchSize_ = 0;
};

}  // namespace KelpaEngine::iOS
