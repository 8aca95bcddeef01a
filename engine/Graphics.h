// The engine's drawing interface. Nothing is drawn at the moment of a call:
// every drawing operation records a command into the current layer's
// buffer, and present() runs the layers back to front (layer 0 last, on
// top), shows the frame and empties the buffers.
//
// Coordinates are in the virtual drawing space (540 x 960 or 640 x 960
// units), origin top left, y downwards. Recording operations return 0.
#pragma once

#include <cstdint>

#include "engine/Heap.h"

namespace KelpaEngine {

class Application;
class Image;
class Sprite2D;
struct CommandBuffer;

// One layer's buffer and a byte position in it, handed to execute().
struct CommandCursor {
    CommandBuffer* buffer;
    int32_t position;
};

class Graphics {
public:
    virtual ~Graphics() = default;

    virtual Application* getApplication() = 0;
    virtual int beginFrame() = 0;
    virtual int endFrame() = 0;
    // Reads w x h RGBA bytes of the screen at (x, y) inside the letterbox,
    // top row first.
    virtual int readPixels(void* buffer, int x, int y, int w, int h) = 0;
    virtual int setClearColor(float r, float g, float b, float a) = 0;
    // Colour of later shapes (lines, rectangles, triangles).
    virtual int setColor(float r, float g, float b, float a) = 0;
    virtual int drawImage(int x, int y, Image* image) = 0;
    virtual int drawImageSized(int x, int y, int w, int h, Image* image) = 0;
    virtual int drawImageRect(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                              Image* image) = 0;
    virtual int drawMasked(int x, int y, int w, int h, Image* image, Image* mask) = 0;
    virtual int drawMaskedRect(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                               Image* image, Image* mask) = 0;
    // Draws at 1/1.5 of the image's size (text images are rendered at 1.5x).
    virtual int drawImageScaled(int x, int y, Image* image) = 0;
    virtual int drawLine(int x1, int y1, int x2, int y2) = 0;
    virtual int drawShape(float x0, float y0, float x1, float y1, float x2, float y2, float x3,
                          float y3, float x4, float y4, float extra) = 0;
    virtual int drawRect(int x, int y, int w, int h) = 0;
    virtual int drawSprite(Sprite2D* sprite) = 0;
    virtual int drawSpriteAt(int dx, int dy, Sprite2D* sprite) = 0;
    virtual int drawSpriteScaled(int dx, int dy, Sprite2D* sprite) = 0;
    virtual int setClip(int x, int y, int w, int h) = 0;
    virtual int setOrigin(float x, float y, float z) = 0;
    virtual int setAlpha(float a) = 0;
    virtual int drawRotatedShape(float x0, float y0, float x1, float y1, float x2, float y2,
                                 float x3, float y3, float x4, float y4, float degrees) = 0;
    virtual int fillRect(int x, int y, int w, int h) = 0;
    virtual int fillTriangle(float x0, float y0, float x1, float y1, float x2, float y2) = 0;
    // Empties every layer's buffer, releasing the images and sprites held.
    virtual int resetCommands() = 0;
    virtual int setLayer(int layer) = 0;
    virtual int setPair(int a, int b) = 0;
    // Rotation of the whole picture in half turns; returns the previous one.
    virtual float setRotation(float halfTurns) = 0;
    // Non-zero: linear filtering for later textured draws of the layer.
    virtual void setFilter(uint8_t linear) = 0;
    // The next present() shows nothing (the buffers are still emptied).
    virtual int skipNextFlush() = 0;
    virtual int present() = 0;
    virtual int getVirtualWidth() = 0;
    virtual int getVirtualHeight() = 0;
    virtual int setRotationUnit(float a, float b, float c, float d) = 0;
    virtual int setReserved4(float a, float b, float c, float d) = 0;
    virtual int setReserved5(float a, float b, float c, float d) = 0;
    virtual int clear() = 0;
    virtual int execute(CommandCursor* cursor) = 0;
    virtual int swapBuffers() = 0;

    // Conveniences for callers holding RefPtrs.
    int drawImage(int x, int y, const RefPtr<Image>& image) { return drawImage(x, y, image.get()); }
    int drawImageSized(int x, int y, int w, int h, const RefPtr<Image>& image) {
        return drawImageSized(x, y, w, h, image.get());
    }
    int drawImageRect(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                      const RefPtr<Image>& image) {
        return drawImageRect(dx, dy, dw, dh, sx, sy, sw, sh, image.get());
    }
    int drawMasked(int x, int y, int w, int h, const RefPtr<Image>& image, const RefPtr<Image>& mask) {
        return drawMasked(x, y, w, h, image.get(), mask.get());
    }
    int drawMaskedRect(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                       const RefPtr<Image>& image, const RefPtr<Image>& mask) {
        return drawMaskedRect(dx, dy, dw, dh, sx, sy, sw, sh, image.get(), mask.get());
    }
    int drawImageScaled(int x, int y, const RefPtr<Image>& image) {
        return drawImageScaled(x, y, image.get());
    }
    int drawSprite(const RefPtr<Sprite2D>& sprite) { return drawSprite(sprite.get()); }
    int drawSpriteAt(int dx, int dy, const RefPtr<Sprite2D>& sprite) {
        return drawSpriteAt(dx, dy, sprite.get());
    }
    int drawSpriteScaled(int dx, int dy, const RefPtr<Sprite2D>& sprite) {
        return drawSpriteScaled(dx, dy, sprite.get());
    }
};

}  // namespace KelpaEngine
