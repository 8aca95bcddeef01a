// The headless front-end's "screen" for the window's views: whenever they
// change, the view tree above the game's drawing (the ad views) is drawn
// off screen with cairo, at the frame's size, and handed to the run, which
// lays it over the frames it writes (a run that writes none gets nothing).
// Main thread.
#pragma once

#include "platform/ui/UIWindow.h"

namespace KelpaHost {

class Runner;

class OverlaySurface : public KelpaPlatform::UIWindowSurface {
public:
    OverlaySurface(KelpaPlatform::UIWindow* window, Runner* runner);
    ~OverlaySurface() override;

    void show() override { setNeedsDisplay(); }
    void setNeedsDisplay() override;
    void* nativeWindow() override { return nullptr; }

    // Draws now (otherwise once the main loop is idle); false when nothing
    // was handed to the run.
    bool render();

private:
    KelpaPlatform::UIWindow* window_;
    Runner* runner_;
    unsigned idle_ = 0;
};

}  // namespace KelpaHost
