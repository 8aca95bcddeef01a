// Font files through the FreeType font: opened from memory, then a little
// text measured, rendered into exactly the measured box and walked glyph by
// glyph.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/Font.h"
#include "engine/Heap.h"
#include "engine/Resource.h"
#include "engine/ios/FontImp.h"

namespace {

using namespace KelpaEngine;

// The font file as an asset: its bytes and a NUL after them.
class MemoryResource : public Resource {
public:
    MemoryResource(const uint8_t* data, size_t size) : bytes_(new uint8_t[size + 1]), size_(uint32_t(size)) {
        std::memcpy(bytes_.get(), data, size);
        bytes_[size] = 0;
    }
    uint8_t* getData() const override { return bytes_.get(); }
    uint32_t getSize() const override { return size_; }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    uint32_t size_;
};

// Larger boxes are measured and walked but not rendered, which would only
// spend the run clearing memory.
constexpr uint64_t kMaxPixels = 1024u * 1024u;

const char* const kTexts[] = {
    "AB \xE3\x81\x82 A",              // ASCII, a space and a kana
    "B\n\xF0\x9F\x98\x80\xFF\xE3\x81",  // a break, an emoji, bytes that do not decode
};

int32_t touchCoverage(Font*, FontPen*, const GlyphRecord* glyph, void* context) {
    if (glyph->coverage && glyph->width > 0 && glyph->rows > 0) {
        const size_t n = size_t(glyph->width) * size_t(glyph->rows);
        *static_cast<unsigned*>(context) += glyph->coverage[0] + glyph->coverage[n - 1];
    }
    return kGlyphDraw;
}

void exercise(Font* font) {
    for (const char* text : kTexts) {
        FontExtent box{0, 0};
        font->measure(&box, text);
        if (box.width < 1 || box.height < 1) std::abort();
        if (uint64_t(box.width) * uint64_t(box.height) <= kMaxPixels) {
            const size_t pitch = size_t(box.width) * 4;
            std::unique_ptr<uint8_t[]> rgba(new uint8_t[pitch * size_t(box.height)]());
            font->render(rgba.get(), int32_t(pitch), text);
        }
        unsigned sum = 0;
        font->walkText(text, touchCoverage, &sum);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return -1;
    RefPtr<Resource> file = makeRef<MemoryResource>(data, size);
    if (!file) return 0;
    RefPtr<Font> font = iOS::FontImp::createFromResource(file, 12, 12);
    if (!font) return 0;
    exercise(font.get());
    if (font->setSize(27) == 0) exercise(font.get());
    return 0;
}
