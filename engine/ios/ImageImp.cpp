// The loading paths of images and sprites: they read asset files and make
// GL texture pages, so they live with the platform side.
#include <string>

#include "engine/AssetReport.h"
#include "engine/Graphics.h"
#include "engine/Image.h"
#include "engine/ImageDecode.h"
#include "engine/Resource.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/ResourceImp.h"

namespace KelpaEngine {

namespace {

RefPtr<Texture> makeTexture(void* graphics, int32_t w, int32_t h) {
    return Texture::create(static_cast<Graphics*>(graphics), w, h);
}

}  // namespace

RefPtr<Image> Image::load(Graphics* graphics, const char* fileName) {
    if (!graphics || !fileName) return nullptr;
    if (Image* live = findLoaded(fileName)) {
        RefPtr<Image> shared;
        shared.reset(live);
        return shared;
    }
    std::string why;
    RefPtr<Resource> file = iOS::ResourceImp::load(graphics->getApplication(), fileName, &why);
    if (!file) {
        reportBrokenAsset(fileName, why.c_str());
        return nullptr;
    }
    RefPtr<ImageConverter> decoded = ImageConverter::convert(file->getData(), file->getSize(), &why);
    if (!decoded) {
        reportBrokenAsset(fileName, why.c_str());
        return nullptr;
    }
    return fromPixels(fileName, decoded->pixels, decoded->width, decoded->height, &makeTexture, graphics);
}

RefPtr<Sprite2D> Sprite2D::create(Graphics* graphics, int32_t x, int32_t y, const char* fileName, uint32_t anchor) {
    RefPtr<Image> image = Image::load(graphics, fileName);
    if (!image) return nullptr;
    return makeRef<Sprite2D>(x, y, image, anchor);
}

}  // namespace KelpaEngine
