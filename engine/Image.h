// A drawable picture: decoded pixels held in a texture region, with the file
// name it came from and its size. Images loaded from files are shared
// through a registry keyed by file name, so a picture used by several
// sprites and scenes is decoded and stored once.
#pragma once

#include <cstdint>

#include "engine/Heap.h"
#include "engine/Texture.h"

namespace KelpaEngine {

class Graphics;

class Image {
public:
    // The live image loaded from this asset file, or the file read, decoded
    // and stored in a texture page. Null when the file cannot be read,
    // decoded or stored; nothing is registered then.
    static RefPtr<Image> load(Graphics* graphics, const char* fileName);
    static RefPtr<Image> load(const RefPtr<Graphics>& graphics, const char* fileName) {
        return load(graphics.get(), fileName);
    }

    // An unnamed, unregistered image over the texture, sized as the
    // texture's region was requested.
    static RefPtr<Image> fromTexture(const RefPtr<Texture>& texture);

    // The named image made from already decoded pixels: stores them in a
    // new texture made by makeTexture and registers the result. Null (and
    // nothing registered) when any step fails.
    using TextureMaker = RefPtr<Texture> (*)(void* context, int32_t w, int32_t h);
    static RefPtr<Image> fromPixels(const char* fileName, const uint8_t* pixels, int32_t w, int32_t h,
                                    TextureMaker makeTexture, void* context);

    // Takes over name (an engine-heap copy, or null).
    Image(const RefPtr<Texture>& texture, char* name, int32_t w, int32_t h);
    // Leaves the registry, frees the name and drops the texture.
    virtual ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    int32_t getWidth() const { return width; }
    int32_t getHeight() const { return height; }
    Texture* getTexture() const { return texture.get(); }
    const char* getName() const { return name; }

    // Registry inspection: the live image of that name (no new reference),
    // the array's length and the number of images in it.
    static Image* findLoaded(const char* fileName);
    static int32_t registryLength();
    static int32_t registeredCount();

    RefPtr<Texture> texture;
    char* name;
    int32_t width;
    int32_t height;
};

}  // namespace KelpaEngine
