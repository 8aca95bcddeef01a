#include "host/MainGLView.h"

#include <cairo.h>

#include "platform/StartupTimeline.h"
#include "platform/egl/HostGL.h"
#include "platform/ns/MainQueue.h"

namespace KelpaHost {

using namespace KelpaPlatform;

MainGLView::MainGLView(const CGRect& frame) : UIView(frame) {}

MainGLView::~MainGLView() {
    if (framePresenter() == this) setFramePresenter(nullptr);
}

void MainGLView::presentFrame(const FrameView& frame) {
    if (FrameTap* tap = tap_.load(std::memory_order_acquire)) {
        if (!tap->frameShown(frame)) return;
    }
    if (frames_.fetch_add(1, std::memory_order_acq_rel) == 0) markStartup("first frame");
    if (!paints_.load(std::memory_order_acquire) || !frame.rgba || frame.width <= 0 || frame.height <= 0) return;

    // The screen is opaque: alpha plays no part.
    size_t n = size_t(frame.width) * size_t(frame.height);
    back_.pixels.resize(n);
    back_.width = frame.width;
    back_.height = frame.height;
    const uint8_t* src = frame.rgba;
    for (size_t i = 0; i < n; ++i, src += 4) {
        back_.pixels[i] = (uint32_t(src[0]) << 16) | (uint32_t(src[1]) << 8) | uint32_t(src[2]);
    }
    {
        std::lock_guard<std::mutex> guard(swapLock_);
        std::swap(back_, ready_);
        hasReady_ = true;
    }
    if (!redrawPosted_.exchange(true, std::memory_order_acq_rel)) {
        std::weak_ptr<UIView> weak = weak_from_this();
        dispatchAsyncMain([weak]() {
            std::shared_ptr<UIView> view = weak.lock();
            if (!view) return;
            static_cast<MainGLView*>(view.get())->redrawPosted_.store(false, std::memory_order_release);
            view->setNeedsDisplay();
        });
    }
}

bool MainGLView::wantsPixels() const {
    if (paints_.load(std::memory_order_acquire)) return true;
    FrameTap* tap = tap_.load(std::memory_order_acquire);
    return tap && tap->wantsPixels();
}

void MainGLView::takeReady() {
    std::lock_guard<std::mutex> guard(swapLock_);
    if (!hasReady_) return;
    std::swap(ready_, shown_);
    hasReady_ = false;
}

bool MainGLView::paintedFrame(std::vector<uint32_t>* pixels, int32_t* width, int32_t* height) {
    takeReady();
    if (shown_.pixels.empty()) return false;
    if (pixels) *pixels = shown_.pixels;
    if (width) *width = shown_.width;
    if (height) *height = shown_.height;
    return true;
}

void MainGLView::drawRect(cairo_t* cr) {
    // Without a screen the game's frames go straight to the run; the view
    // tree drawn off screen is only what lies over them.
    if (!paints_.load(std::memory_order_acquire)) return;
    takeReady();
    CGRect b = bounds();
    if (shown_.pixels.empty()) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_rectangle(cr, 0, 0, b.size.width, b.size.height);
        cairo_fill(cr);
        return;
    }
    int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, shown_.width);
    if (stride != shown_.width * 4) return;
    cairo_surface_t* image = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(shown_.pixels.data()),
                                                                 CAIRO_FORMAT_RGB24, shown_.width, shown_.height, stride);
    cairo_save(cr);
    cairo_scale(cr, b.size.width / shown_.width, b.size.height / shown_.height);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(image);
}

}  // namespace KelpaHost
