// The GL side of a texture page: one GL ES 2.0 texture of the page's size,
// rebuilt from the page's RGBA copy whenever the graphics object makes its
// context anew.
#pragma once

#include <cstdint>

#include "engine/Heap.h"
#include "engine/Texture.h"

namespace KelpaEngine {
class Graphics;

namespace iOS {

class GraphicsOpenGL;

class TextureHandleImp : public TextureHandle {
public:
    // A page of at least w x h texels (powers of two, 128 at least) with its
    // GL texture defined and its RGBA copy zero-filled; null when a size is
    // zero or below or too large, no GL texture can be made, or memory runs
    // out.
    static RefPtr<TextureHandleImp> create(Graphics* graphics, int32_t w, int32_t h);

    TextureHandleImp(int32_t pageWidth, int32_t pageHeight, uint32_t glName);
    // Leaves the graphics object's lists and deletes the GL texture.
    ~TextureHandleImp() override;

    uint32_t* getGLName() override { return &glName_; }
    void uploadRegion(int32_t x, int32_t y, int32_t w, int32_t h, const uint8_t* pixels) override;

    // Context-created callback: a new GL texture from the RGBA copy; 1 on
    // success, 0 on failure.
    static int restore(void* graphics, void* page);

    // The graphics object the page is registered with (null once it is gone).
    GraphicsOpenGL* graphics() const { return graphics_; }

private:
    bool attach(GraphicsOpenGL* graphics);
    void detach();
    static int contextDestroyed(void* graphics, void* page);
    static int graphicsGone(void* graphics, void* page);

    uint32_t glName_;
    GraphicsOpenGL* graphics_ = nullptr;
};

}  // namespace iOS
}  // namespace KelpaEngine
