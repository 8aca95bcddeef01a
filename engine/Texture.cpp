#include "engine/Texture.h"

#include <cstring>

namespace KelpaEngine {

namespace {
// Game thread only, like everything that touches pages.
TextureHandle* gPageHead = nullptr;
}  // namespace

int32_t TextureHandle::pageSideFor(int32_t n) {
    if (n <= 0 || n > kMaxPageSide) return 0;
    int32_t side = kMinPageSide;
    while (side < n) side *= 2;
    return side;
}

TextureHandle::TextureHandle(int32_t pageWidth, int32_t pageHeight) : width(pageWidth), height(pageHeight) {
    packer.init();
}

TextureHandle::~TextureHandle() {
    unlink();
    engineFree(pixels);
    pixels = nullptr;
}

bool TextureHandle::allocateCopy() {
    if (pixels) return true;
    if (width <= 0 || height <= 0) return false;
    uint64_t bytes = rgbaBytes(width, height);
    pixels = static_cast<uint8_t*>(engineAlloc(bytes));
    if (!pixels) return false;
    std::memset(pixels, 0, size_t(bytes));
    return true;
}

TextureHandle* TextureHandle::firstPage() { return gPageHead; }

bool TextureHandle::isListed() const { return gPageHead == this || previous != nullptr; }

void TextureHandle::pushFront() {
    if (isListed()) return;
    next = gPageHead;
    previous = nullptr;
    if (gPageHead) gPageHead->previous = this;
    gPageHead = this;
}

void TextureHandle::unlink() {
    if (!isListed()) return;
    if (previous) {
        previous->next = next;
    } else {
        gPageHead = next;
    }
    if (next) next->previous = previous;
    previous = nullptr;
    next = nullptr;
}

Texture::Texture(const RefPtr<TextureHandle>& p, PackerNode* r, int32_t w, int32_t h)
    : page(p), region(r), width(w), height(h) {}

Texture::~Texture() {
    if (page && region && page->packer.release(region)) page->unlink();
    region = nullptr;
    page = nullptr;
}

RefPtr<Texture> Texture::place(int32_t w, int32_t h, PageMaker makePage, void* owner) {
    if (w <= 0 || h <= 0) return nullptr;
    if (TextureHandle::pageSideFor(w) == 0 || TextureHandle::pageSideFor(h) == 0) return nullptr;
    for (TextureHandle* p = gPageHead; p; p = p->next) {
        if (p->owner != owner) continue;
        PackerNode* node = p->packer.allocate(w, h);
        if (!node) continue;
        RefPtr<TextureHandle> held;
        held.reset(p);
        RefPtr<Texture> t = makeRef<Texture>(held, node, w, h);
        if (!t) {
            held = nullptr;
            if (p->packer.release(node)) p->unlink();
        }
        return t;
    }
    if (!makePage) return nullptr;
    RefPtr<TextureHandle> fresh = makePage(owner, w, h);
    if (!fresh) return nullptr;
    fresh->owner = owner;
    fresh->packer.setSize(fresh->width, fresh->height, TextureHandle::kRegionUnit);
    PackerNode* node = fresh->packer.allocate(w, h);
    if (!node) return nullptr;
    RefPtr<Texture> t = makeRef<Texture>(fresh, node, w, h);
    if (!t) {
        fresh->packer.release(node);
        return nullptr;
    }
    fresh->pushFront();
    return t;
}

void Texture::update(const void* src) {
    if (!src || !page || !region || !page->pixels) return;
    TextureHandle* p = page.get();
    const auto* in = static_cast<const uint8_t*>(src);
    const int32_t rw = region->requestedWidth;
    const int32_t rh = region->requestedHeight;
    const size_t rowBytes = size_t(rw) * 4;
    uint8_t alphas = 0xFF;
    for (int32_t r = 0; r < rh; ++r) {
        size_t at = (size_t(region->y + r) * size_t(p->width) + size_t(region->x)) * 4;
        const uint8_t* row = in + size_t(r) * rowBytes;
        std::memcpy(p->pixels + at, row, rowBytes);
        for (size_t a = 3; a < rowBytes; a += 4) alphas &= row[a];
    }
    opaque = alphas == 0xFF;
    p->uploadRegion(region->x, region->y, rw, rh, in);
}

}  // namespace KelpaEngine
