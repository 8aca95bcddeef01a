// Sprites: a shared image placed on the screen with an anchor, a drawn size,
// a source rectangle, a scale, a rotation and a pivot. The game moves a
// sprite by writing its fields.
#pragma once

#include <cstdint>

#include "engine/Heap.h"
#include "engine/Image.h"

namespace KelpaEngine {

class Graphics;

namespace SpriteManager {

class Object {
public:
    virtual ~Object() = default;
    virtual bool draw(Graphics* graphics, int32_t dx, int32_t dy) = 0;
    virtual bool update() = 0;
};

}  // namespace SpriteManager

class Sprite2D : public SpriteManager::Object {
public:
    // Anchor flags: horizontal alignment in the low nibble, vertical in the
    // high one; any other nibble value counts as left or top.
    static constexpr uint32_t kLeft = 0x00;
    static constexpr uint32_t kCenter = 0x01;
    static constexpr uint32_t kRight = 0x02;
    static constexpr uint32_t kTop = 0x00;
    static constexpr uint32_t kMiddle = 0x10;
    static constexpr uint32_t kBottom = 0x20;

    // A sprite at (x, y) over the image loaded (shared by name) from the
    // file; null when the image cannot be loaded.
    static RefPtr<Sprite2D> create(Graphics* graphics, int32_t x, int32_t y, const char* fileName, uint32_t anchor);
    static RefPtr<Sprite2D> create(const RefPtr<Graphics>& graphics, int32_t x, int32_t y, const char* fileName,
                                   uint32_t anchor) {
        return create(graphics.get(), x, y, fileName, anchor);
    }

    Sprite2D(const RefPtr<Image>& image, uint32_t anchor);
    Sprite2D(int32_t x, int32_t y, const RefPtr<Image>& image, uint32_t anchor);
    ~Sprite2D() override = default;

    // Records the whole image at its natural size with its top-left corner
    // at the anchored corner plus (dx, dy); scale, rotation, pivot, source
    // rectangle and drawn size play no part. Always true.
    bool draw(Graphics* graphics, int32_t dx, int32_t dy) override;
    bool update() override { return true; }

    // True when (px, py) lies in the anchored rectangle, edges included.
    bool hitTest(int32_t px, int32_t py) const;

    // The anchored rectangle from the position, the anchor and the unscaled
    // width and height.
    struct Rect {
        int64_t left, top, right, bottom;
    };
    Rect anchoredRect() const;

    RefPtr<Image> image;
    uint32_t anchor;
    int32_t srcX = 0;
    int32_t srcY = 0;
    int32_t srcWidth;
    int32_t srcHeight;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    float rotation = 0.0f;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    int32_t pivotX;
    int32_t pivotY;
};

}  // namespace KelpaEngine
