// test-links: PkgConfig::CAIRO
// A cairo image surface to draw views on in tests, with pixel probes in
// points. Needs no display.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/UIImage.h"
#include "platform/ui/UIView.h"

namespace testsupport {

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

inline bool near(const Rgba& p, const Rgba& q, int tolerance) {
    return std::abs(p.r - q.r) <= tolerance && std::abs(p.g - q.g) <= tolerance && std::abs(p.b - q.b) <= tolerance &&
           std::abs(p.a - q.a) <= tolerance;
}

// An image of one colour.
inline std::shared_ptr<KelpaPlatform::UIImage> solidImage(int w, int h, const KelpaPlatform::UIColor& c) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
    cairo_paint(cr);
    cairo_destroy(cr);
    auto image = KelpaPlatform::UIImage::imageWithSurface(s);
    cairo_surface_destroy(s);
    return image;
}

inline Rgba rgba255(const KelpaPlatform::UIColor& c) {
    auto v = [](double x) { return int(std::lround(std::clamp(x, 0.0, 1.0) * 255)); };
    return Rgba{v(c.r), v(c.g), v(c.b), v(c.a)};
}

// Pixels found by a probe: their count and bounds in points (max: the far
// edge of the last pixel).
struct InkBox {
    int count = 0;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
};

class Canvas {
public:
    // widthPts x heightPts points at `scale` pixels a point, filled with
    // `background` (transparent when none).
    Canvas(int widthPts, int heightPts, double scale = 1,
           std::optional<KelpaPlatform::UIColor> background = KelpaPlatform::UIColor{1, 1, 1, 1})
        : scale_(scale),
          surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(std::lround(widthPts * scale)),
                                              int(std::lround(heightPts * scale)))),
          cr_(cairo_create(surface_)) {
        if (background) {
            cairo_set_source_rgba(cr_, background->r, background->g, background->b, background->a);
            cairo_paint(cr_);
        }
        cairo_scale(cr_, scale, scale);
    }
    ~Canvas() {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return cr_; }
    double scale() const { return scale_; }
    int pixelWidth() const { return cairo_image_surface_get_width(surface_); }
    int pixelHeight() const { return cairo_image_surface_get_height(surface_); }

    // The view and its subviews at the view's frame.
    void draw(KelpaPlatform::UIView& view) { KelpaPlatform::renderViewTree(&view, cr_); }

    // The pixel (unpremultiplied) that holds the point.
    Rgba at(double x, double y) const { return pixel(int(std::floor(x * scale_)), int(std::floor(y * scale_))); }
    Rgba pixel(int px, int py) const {
        cairo_surface_flush(surface_);
        if (px < 0 || py < 0 || px >= pixelWidth() || py >= pixelHeight()) return Rgba{};
        const unsigned char* row = cairo_image_surface_get_data(surface_) + py * cairo_image_surface_get_stride(surface_);
        uint32_t v;
        std::memcpy(&v, row + 4 * px, 4);
        Rgba p{int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255), int(v >> 24)};
        if (p.a > 0 && p.a < 255) {
            p.r = std::min(255, p.r * 255 / p.a);
            p.g = std::min(255, p.g * 255 / p.a);
            p.b = std::min(255, p.b * 255 / p.a);
        }
        return p;
    }

    // The pixels within the rectangle (in points) for which `ink` holds:
    // their count and bounds, in points.
    template <class Ink>
    InkBox ink(const KelpaPlatform::CGRect& r, Ink isInk) const {
        InkBox box;
        const int x0 = std::max(0, int(std::floor(r.origin.x * scale_)));
        const int y0 = std::max(0, int(std::floor(r.origin.y * scale_)));
        const int x1 = std::min(pixelWidth(), int(std::ceil((r.origin.x + r.size.width) * scale_)));
        const int y1 = std::min(pixelHeight(), int(std::ceil((r.origin.y + r.size.height) * scale_)));
        int mnx = x1, mny = y1, mxx = -1, mxy = -1;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (isInk(pixel(x, y))) {
                    ++box.count;
                    mnx = std::min(mnx, x), mny = std::min(mny, y), mxx = std::max(mxx, x), mxy = std::max(mxy, y);
                }
        if (box.count) {
            box.minX = mnx / scale_, box.minY = mny / scale_;
            box.maxX = (mxx + 1) / scale_, box.maxY = (mxy + 1) / scale_;
        }
        return box;
    }

    bool writePng(const std::string& path) const {
        cairo_surface_flush(surface_);
        return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
    }

private:
    double scale_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

}  // namespace testsupport
