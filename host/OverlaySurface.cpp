#include "host/OverlaySurface.h"

#include <cairo.h>
#include <glib.h>

#include <cmath>

#include "host/Runner.h"
#include "platform/ui/UIApplication.h"

namespace KelpaHost {

using namespace KelpaPlatform;

OverlaySurface::OverlaySurface(UIWindow* window, Runner* runner) : window_(window), runner_(runner) {}

OverlaySurface::~OverlaySurface() {
    if (idle_) g_source_remove(idle_);
}

void OverlaySurface::setNeedsDisplay() {
    if (idle_) return;
    idle_ = g_idle_add(
        [](gpointer data) -> gboolean {
            auto* self = static_cast<OverlaySurface*>(data);
            self->idle_ = 0;
            self->render();
            return G_SOURCE_REMOVE;
        },
        this);
}

void OverlaySurface::render() {
    if (!runner_ || !window_) return;
    double scale = UIScreen::mainScreen().scale();
    int w = int(std::lround(window_->frame().size.width * scale));
    int h = int(std::lround(window_->frame().size.height * scale));
    if (w <= 0 || h <= 0) return;
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(image);
    cairo_scale(cr, scale, scale);
    renderViewTree(window_, cr);
    cairo_destroy(cr);
    cairo_surface_flush(image);
    runner_->setOverlay(reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(image)), w, h,
                        cairo_image_surface_get_stride(image));
    cairo_surface_destroy(image);
}

}  // namespace KelpaHost
