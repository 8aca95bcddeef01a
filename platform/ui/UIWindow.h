// The window: the root of a view tree, shown on a screen surface when the
// application has a display (a GtkWindow), or kept off screen (headless).
// Touches from the surface, or from a script, enter through sendTouches.
#pragma once

#include <map>
#include <memory>

#include "platform/ui/UIView.h"

namespace KelpaPlatform {

class UIViewController;

// What shows a window on a screen.
class UIWindowSurface {
public:
    virtual ~UIWindowSurface() = default;
    virtual void show() = 0;
    virtual void setNeedsDisplay() = 0;
    // The platform window (a GtkWindow*), or null.
    virtual void* nativeWindow() = 0;
};

class UIWindow : public UIView {
public:
    explicit UIWindow(const CGRect& frame);
    ~UIWindow() override;

    UIWindow* asWindow() override { return this; }

    void setRootViewController(const std::shared_ptr<UIViewController>& controller);
    const std::shared_ptr<UIViewController>& rootViewController() const { return root_; }

    // Shows the window (on a screen surface when the application has a
    // display) and, once the main loop runs, tells the root view
    // controller that its view has appeared.
    void makeKeyAndVisible();
    bool isVisible() const { return visible_; }
    UIWindowSurface* surface() const { return surface_.get(); }
    // Shows the window on this surface instead of one the application
    // would make (an off-screen one, say).
    void setSurface(std::unique_ptr<UIWindowSurface> surface) { surface_ = std::move(surface); }
    // Drops the screen surface (at exit).
    void closeSurface();

    // One platform event: the touches in window points, all in one phase.
    // Began goes to the hit view; moved, ended and cancelled go to the view
    // that took the touch's began.
    void sendTouches(UITouchPhase phase, const UITouchSet& touches);

    // Asked by views; redraws the surface (if any) soon.
    void surfaceNeedsDisplay();

private:
    std::shared_ptr<UIViewController> root_;
    std::unique_ptr<UIWindowSurface> surface_;
    std::map<int64_t, std::weak_ptr<UIView>> touchViews_;
    bool visible_ = false;
};

}  // namespace KelpaPlatform
