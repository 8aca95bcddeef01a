#include "engine/Sprite2D.h"

#include "engine/Graphics.h"

namespace KelpaEngine {

Sprite2D::Sprite2D(const RefPtr<Image>& img, uint32_t a) : Sprite2D(0, 0, img, a) {}

Sprite2D::Sprite2D(int32_t px, int32_t py, const RefPtr<Image>& img, uint32_t a)
    : image(img),
      anchor(a),
      srcWidth(img ? img->width : 0),
      srcHeight(img ? img->height : 0),
      x(px),
      y(py),
      width(srcWidth),
      height(srcHeight),
      pivotX(width / 2),
      pivotY(height / 2) {}

Sprite2D::Rect Sprite2D::anchoredRect() const {
    // 64-bit so that positions near the int32 limits cannot overflow.
    const int64_t w = width, h = height, px = x, py = y;
    Rect r{};
    switch (anchor & 0x0F) {
        case kRight:
            r.left = px - w;
            r.right = px;
            break;
        case kCenter:
            r.left = px - w / 2;
            r.right = px + w - w / 2;
            break;
        default:
            r.left = px;
            r.right = px + w;
            break;
    }
    switch (anchor & 0xF0) {
        case kBottom:
            r.top = py - h;
            r.bottom = py;
            break;
        case kMiddle:
            r.top = py - h / 2;
            r.bottom = py + h - h / 2;
            break;
        default:
            r.top = py;
            r.bottom = py + h;
            break;
    }
    return r;
}

bool Sprite2D::draw(Graphics* graphics, int32_t dx, int32_t dy) {
    if (!graphics || !image) return true;
    Rect r = anchoredRect();
    int64_t left = r.left + dx;
    int64_t top = r.top + dy;
    // A corner beyond the 32-bit range is off every screen: nothing to record.
    if (left < INT32_MIN || left > INT32_MAX || top < INT32_MIN || top > INT32_MAX) return true;
    graphics->drawImage(int32_t(left), int32_t(top), image.get());
    return true;
}

bool Sprite2D::hitTest(int32_t px, int32_t py) const {
    Rect r = anchoredRect();
    if (px < r.left) return false;
    if (py < r.top) return false;
    if (px > r.right) return false;
    if (py > r.bottom) return false;
    return true;
}

}  // namespace KelpaEngine
