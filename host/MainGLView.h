// The view that shows the game: the game thread draws off screen and
// presents each finished frame here (presentFrame, on the game thread); the
// main thread paints the latest one with cairo, scaled to the view. The
// game thread never waits for the main thread: the two only swap buffers
// under a lock held for a pointer swap.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/egl/FramePresenter.h"
#include "platform/ui/UIView.h"

namespace KelpaHost {

// Sees every frame on the game thread before it is presented (the
// headless runner's screenshots and frame count); a frame it refuses (past
// the run's last one) is not presented.
class FrameTap {
public:
    virtual ~FrameTap() = default;
    virtual bool frameShown(const KelpaPlatform::FrameView& frame) = 0;
    // False when it does nothing with the frames' pixels.
    virtual bool wantsPixels() const { return true; }
};

class MainGLView : public KelpaPlatform::UIView, public KelpaPlatform::FramePresenter {
public:
    explicit MainGLView(const KelpaPlatform::CGRect& frame);
    ~MainGLView() override;

    // Game thread.
    void presentFrame(const KelpaPlatform::FrameView& frame) override;
    bool wantsPixels() const override;
    // Main thread.
    void drawRect(cairo_t* cr) override;

    // Set before the game thread starts (or with it stopped).
    void setFrameTap(FrameTap* tap) { tap_.store(tap, std::memory_order_release); }
    // Keep frames for painting (set when there is a screen to paint on).
    void setPaints(bool on) { paints_.store(on, std::memory_order_release); }

    uint64_t framesPresented() const { return frames_.load(std::memory_order_acquire); }
    // The frame the next paint shows (or showed), 0x00RRGGBB per pixel;
    // false when none has come.
    bool paintedFrame(std::vector<uint32_t>* pixels, int32_t* width, int32_t* height);

private:
    struct Buffer {
        std::vector<uint32_t> pixels;
        int32_t width = 0, height = 0;
    };
    void takeReady();

    std::atomic<FrameTap*> tap_{nullptr};
    std::atomic<bool> paints_{false};
    std::atomic<uint64_t> frames_{0};
    std::atomic<bool> redrawPosted_{false};
    Buffer back_;     // game thread only
    std::mutex swapLock_;
    Buffer ready_;    // under swapLock_
    bool hasReady_ = false;
    Buffer shown_;    // main thread only
};

}  // namespace KelpaHost
