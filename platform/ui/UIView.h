// Views: a tree of rectangles in points with a responder chain for touches.
// A view draws itself with cairo when its window has a screen; without one
// (headless) the tree, hit-testing and touch delivery work the same.
// Views are shared (std::shared_ptr); a superview holds its subviews.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/UIGeometry.h"

typedef struct _cairo cairo_t;

namespace KelpaPlatform {

class UIView;
class UIViewController;
class UIWindow;

enum class UITouchPhase { Began, Moved, Stationary, Ended, Cancelled };

struct UITouch {
    int64_t identifier = 0;   // stays the same from began to ended
    CGPoint windowLocation;   // in the window, in points
    UITouchPhase phase = UITouchPhase::Began;
    // The location in the coordinates of `view` (the window's when null).
    CGPoint locationInView(const UIView* view) const;
};
// The touches of one platform event (at least one).
using UITouchSet = std::vector<UITouch>;

class UIResponder {
public:
    virtual ~UIResponder() = default;
    virtual UIResponder* nextResponder() const { return nullptr; }
    // Each default passes the touches on along the responder chain.
    virtual void touchesBegan(const UITouchSet& touches);
    virtual void touchesMoved(const UITouchSet& touches);
    virtual void touchesEnded(const UITouchSet& touches);
    virtual void touchesCancelled(const UITouchSet& touches);
};

struct UIColor {
    double r = 0, g = 0, b = 0, a = 1;
};

class UIView : public UIResponder, public std::enable_shared_from_this<UIView> {
public:
    explicit UIView(const CGRect& frame = CGRect());
    ~UIView() override;

    const CGRect& frame() const { return frame_; }
    virtual void setFrame(const CGRect& frame);
    CGRect bounds() const { return CGRectMake(0, 0, frame_.size.width, frame_.size.height); }

    UIView* superview() const { return superview_; }
    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    // Puts the view on top of this view's subviews, taking it from any
    // other superview first.
    virtual void addSubview(const std::shared_ptr<UIView>& view);
    virtual void removeFromSuperview();
    // The window at the root of this view's tree, or null.
    UIWindow* window() const;
    virtual UIWindow* asWindow() { return nullptr; }

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    bool userInteractionEnabled() const { return interaction_; }
    void setUserInteractionEnabled(bool on) { interaction_ = on; }
    // No colour: clear.
    void setBackgroundColor(std::optional<UIColor> colour);

    // Draws the view's own content in its bounds (cr is translated to the
    // view's origin and clipped to its bounds); the default fills the
    // background colour.
    virtual void drawRect(cairo_t* cr);
    // Asks the window to draw again (main thread).
    void setNeedsDisplay();

    // The deepest visible, interactive view at `point` (in this view's
    // coordinates), or null.
    UIView* hitTest(const CGPoint& point);
    // A point from window coordinates to this view's.
    CGPoint convertFromWindow(const CGPoint& p) const;

    // The controller whose view this is (then the next responder).
    void setViewController(UIViewController* controller) { controller_ = controller; }
    UIResponder* nextResponder() const override;

private:
    CGRect frame_;
    UIView* superview_ = nullptr;
    std::vector<std::shared_ptr<UIView>> subviews_;
    UIViewController* controller_ = nullptr;
    std::optional<UIColor> background_;
    bool hidden_ = false;
    bool interaction_ = true;
};

// Draws `view` and its subviews into cr (in the view's superview's coordinates).
void renderViewTree(UIView* view, cairo_t* cr);

}  // namespace KelpaPlatform
