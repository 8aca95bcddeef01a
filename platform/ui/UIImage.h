// An image: a cairo ARGB32 image surface (premultiplied) and its size in
// points. Images are shared and never change once made.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/UIGeometry.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace KelpaPlatform {

class UIImage {
public:
    ~UIImage();
    UIImage(const UIImage&) = delete;
    UIImage& operator=(const UIImage&) = delete;

    // The folder that imageNamed looks in (the application's resources).
    static void setResourceFolder(const std::string& folder);
    static std::string resourceFolder();
    // The PNG of that name in the resource folder (".png" added when the
    // name has no extension); null when it is missing, not a PNG, broken
    // or larger than kMaxSide pixels on a side.
    static std::shared_ptr<UIImage> imageNamed(const std::string& name);
    // The same for a file path.
    static std::shared_ptr<UIImage> imageWithContentsOfFile(const std::string& path);
    // Takes its own reference to an image surface (an ARGB32 copy for other
    // formats); null for a surface that is not a usable image surface.
    static std::shared_ptr<UIImage> imageWithSurface(cairo_surface_t* surface);

    static constexpr int kMaxSide = 4096;

    CGSize size() const;
    cairo_surface_t* surface() const { return surface_; }

    // Draws the image scaled into rect (in cr's coordinates), at `alpha`.
    void drawInRect(cairo_t* cr, const CGRect& rect, double alpha = 1) const;

private:
    explicit UIImage(cairo_surface_t* surface) : surface_(surface) {}
    cairo_surface_t* surface_;
};

}  // namespace KelpaPlatform
