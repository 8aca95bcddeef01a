// The OpenGL ES 2.0 graphics object: GraphicsOpenGL (GraphicsOpenGL.h)
// executes the recorded layers; GraphicsImp owns the set-up (context and
// framebuffer through the host GL functions), the letterbox, the viewport,
// clearing and presenting.
#pragma once

#include <cstdint>

#include "engine/ios/GraphicsOpenGL.h"

namespace KelpaEngine {
namespace iOS {

class GraphicsImp : public GraphicsOpenGL {
public:
    explicit GraphicsImp(Application* app);
    ~GraphicsImp() override;

    int clear() override;
    int swapBuffers() override;
    int setViewport(int x, int y, int w, int h) override;
    int setupGL() override;

    // Resume: a new context and resources, then the context-created list.
    // Returns 1 when the new context is usable, else 0.
    int restoreContext();
    // Pause: the host drops the framebuffer and the renderbuffer. The context
    // stays current, so pictures made while paused get their pages (rebuilt
    // with all the others by the next restoreContext); nothing is drawn.
    int releaseContext();

    uint32_t screenScale() const { return screenScale_; }
    uint8_t isPad() const { return isPad_; }
    uint8_t isSmallScreen() const { return smallScreen_; }

    // The first setViewport of the process fixes two values; tests reset them.
    static void resetViewportMemoForTesting();

protected:
    int32_t pixelsPerPoint() const override { return int32_t(screenScale_); }

private:
    uint32_t screenScale_ = 1;
    uint8_t isPad_ = 0;
    uint8_t smallScreen_ = 0;
};

}  // namespace iOS
}  // namespace KelpaEngine
