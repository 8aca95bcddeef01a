#include "host/OverlaySurface.h"

#include <cairo.h>
#include <glib.h>


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

bool OverlaySurface::render() {
    // A frame-sized picture (4 MB at 750x1334) for a run that writes none
    // would only be thrown away.
    if (!runner_ || !window_ || !runner_->wantsPixels()) return false;
    cairo_surface_t* image = renderViewImage(window_, UIScreen::mainScreen().scale());
    if (!image) return false;
    runner_->setOverlay(reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(image)),
                        cairo_image_surface_get_width(image), cairo_image_surface_get_height(image),
                        cairo_image_surface_get_stride(image));
    cairo_surface_destroy(image);
    return true;
}

}  // namespace KelpaHost
