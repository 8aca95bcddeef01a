#include "engine/Image.h"

#include <cstring>

#include "engine/TextUtil.h"

namespace KelpaEngine {

namespace {

// Plain pointers: an image is listed exactly while it is alive. Game thread
// only, no lock.
Image** gRegistry = nullptr;
int32_t gRegistryLength = 0;

bool registerImage(Image* image) {
    for (int32_t i = 0; i < gRegistryLength; ++i) {
        if (!gRegistry[i]) {
            gRegistry[i] = image;
            return true;
        }
    }
    if (gRegistryLength > (INT32_MAX - 16) / 2) return false;
    int32_t grown = 2 * gRegistryLength + 16;
    auto* a = static_cast<Image**>(engineAlloc(uint64_t(grown) * sizeof(Image*)));
    if (!a) return false;
    std::memset(static_cast<void*>(a), 0, size_t(grown) * sizeof(Image*));
    if (gRegistryLength > 0) std::memcpy(static_cast<void*>(a), gRegistry, size_t(gRegistryLength) * sizeof(Image*));
    engineFree(gRegistry);
    gRegistry = a;
    gRegistry[gRegistryLength] = image;
    gRegistryLength = grown;
    return true;
}

}  // namespace

Image::Image(const RefPtr<Texture>& t, char* n, int32_t w, int32_t h) : texture(t), name(n), width(w), height(h) {}

Image::~Image() {
    for (int32_t i = 0; i < gRegistryLength; ++i) {
        if (gRegistry[i] == this) gRegistry[i] = nullptr;
    }
    engineFree(name);
    name = nullptr;
    texture = nullptr;
}

Image* Image::findLoaded(const char* fileName) {
    if (!fileName) return nullptr;
    for (int32_t i = 0; i < gRegistryLength; ++i) {
        Image* im = gRegistry[i];
        if (im && im->name && std::strcmp(im->name, fileName) == 0) return im;
    }
    return nullptr;
}

int32_t Image::registryLength() { return gRegistryLength; }

int32_t Image::registeredCount() {
    int32_t n = 0;
    for (int32_t i = 0; i < gRegistryLength; ++i) n += gRegistry[i] ? 1 : 0;
    return n;
}

RefPtr<Image> Image::fromTexture(const RefPtr<Texture>& texture) {
    if (!texture) return nullptr;
    int32_t w = texture->region ? texture->region->requestedWidth : texture->width;
    int32_t h = texture->region ? texture->region->requestedHeight : texture->height;
    return makeRef<Image>(texture, nullptr, w, h);
}

RefPtr<Image> Image::fromPixels(const char* fileName, const uint8_t* pixels, int32_t w, int32_t h,
                                TextureMaker makeTexture, void* context) {
    if (!fileName || !pixels || !makeTexture) return nullptr;
    RefPtr<Texture> texture = makeTexture(context, w, h);
    if (!texture) return nullptr;
    texture->update(pixels);
    char* n = engineStrdup(fileName);
    if (!n) return nullptr;
    RefPtr<Image> image = makeRef<Image>(texture, n, w, h);
    if (!image) {
        engineFree(n);
        return nullptr;
    }
    if (!registerImage(image.get())) return nullptr;
    return image;
}

}  // namespace KelpaEngine
