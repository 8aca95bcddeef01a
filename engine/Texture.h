// Textures and texture pages. A Texture is a rectangular region of a shared
// page; a page (TextureHandle) is one power-of-two GL texture of at least
// 128 texels a side, with a rectangle packer handing out its regions and an
// RGBA copy of its whole content, from which the GL texture is rebuilt when
// the context is created anew.
//
// The page's bookkeeping (list links, packer, size, RGBA copy) is kept here;
// the GL side is iOS::TextureHandleImp (engine/ios/TextureImp.h).
#pragma once

#include <cstdint>

#include "engine/Heap.h"
#include "engine/TexturePacker.h"

namespace KelpaEngine {

class Graphics;

class TextureHandle {
public:
    static constexpr int32_t kMinPageSide = 128;
    // Pages are never larger than this a side (larger requests are refused).
    static constexpr int32_t kMaxPageSide = 1 << 14;
    static constexpr int32_t kRegionUnit = 8;
    static constexpr uint32_t kNoGLName = 0xFFFFFFFFu;

    // Smallest of 128, 256, 512, ... not less than n; 0 when n is zero or
    // below or no page can be that large.
    static int32_t pageSideFor(int32_t n);
    // Bytes of an RGBA copy of w x h texels, in 64 bits.
    static uint64_t rgbaBytes(int32_t w, int32_t h) { return uint64_t(uint32_t(w)) * uint32_t(h) * 4u; }

    TextureHandle(int32_t pageWidth, int32_t pageHeight);
    // Unlinks the page when it is still listed and frees the RGBA copy.
    virtual ~TextureHandle();
    TextureHandle(const TextureHandle&) = delete;
    TextureHandle& operator=(const TextureHandle&) = delete;

    // Address of the page's GL texture name (kNoGLName while it has none).
    virtual uint32_t* getGLName() = 0;
    // Sends a region of pixels (rows of w x 4 bytes) to the GL texture; the
    // RGBA copy has already been updated.
    virtual void uploadRegion(int32_t x, int32_t y, int32_t w, int32_t h, const uint8_t* pixels) = 0;

    // Allocates the zero-filled RGBA copy; false when it cannot be had.
    bool allocateCopy();

    int32_t getWidth() const { return width; }
    int32_t getHeight() const { return height; }
    const uint8_t* getPixels() const { return pixels; }

    // Global list of the pages that hold at least one texture, head first.
    static TextureHandle* firstPage();
    TextureHandle* nextPage() const { return next; }
    bool isListed() const;
    void pushFront();
    void unlink();

    TextureHandle* previous = nullptr;
    TextureHandle* next = nullptr;
    TextureRegionPacker packer;
    int32_t width;
    int32_t height;
    // width x height x 4 bytes, rows top to bottom.
    uint8_t* pixels = nullptr;
    // The graphics object whose context holds the GL texture; pages only
    // take new regions for their own owner. Null once that object is gone.
    void* owner = nullptr;
};

class Texture {
public:
    // A region of w x h texels in a page of the graphics object; null when
    // a size is zero or below, too large, or no page can be made.
    static RefPtr<Texture> create(Graphics* graphics, int32_t w, int32_t h);
    static RefPtr<Texture> create(const RefPtr<Graphics>& graphics, int32_t w, int32_t h) {
        return create(graphics.get(), w, h);
    }

    // The placement part of create: the first listed page of the owner with
    // room, else a new page from makePage (sized for at least w x h, its
    // owner set to the given one), pushed at the head.
    using PageMaker = RefPtr<TextureHandle> (*)(void* owner, int32_t w, int32_t h);
    static RefPtr<Texture> place(int32_t w, int32_t h, PageMaker makePage, void* owner);

    Texture(const RefPtr<TextureHandle>& page, PackerNode* region, int32_t w, int32_t h);
    // Releases the region; unlinks the page when it became empty.
    virtual ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Copies w x h RGBA pixels (rows of w x 4 bytes, top row first) into the
    // region: into the page's RGBA copy and into its GL texture.
    virtual void update(const void* pixels);

    TextureHandle* getPage() const { return page.get(); }
    int32_t regionX() const { return region ? region->x : 0; }
    int32_t regionY() const { return region ? region->y : 0; }
    int32_t getWidth() const { return width; }
    int32_t getHeight() const { return height; }

    RefPtr<TextureHandle> page;
    PackerNode* region;
    int32_t width;
    int32_t height;
    // Every texel of the latest update has alpha 255: drawn untinted, the
    // texture hides whatever is under it.
    bool opaque = false;
};

}  // namespace KelpaEngine
