// Views: a tree of rectangles in points with a responder chain for touches.
// A view draws itself with cairo when its window has a screen; without one
// (headless) the tree, hit-testing and touch delivery work the same, and the
// tree can still be rendered into an image (renderViewTree).
// Views are shared (std::shared_ptr); a superview holds its subviews.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/UIGeometry.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace KelpaPlatform {

class Clock;
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

// What the phone kept on a view's layer and the views here draw themselves.
struct UIViewLayer {
    double cornerRadius = 0;
    double borderWidth = 0;
    std::optional<UIColor> borderColor;
    // Clip the content and subviews to the (rounded) bounds.
    bool masksToBounds = false;
};

// Autoresizing mask bits (kept for callers that state them; this layer
// lays out nothing by itself).
enum : uint32_t {
    UIViewAutoresizingFlexibleLeftMargin = 1,
    UIViewAutoresizingFlexibleWidth = 2,
    UIViewAutoresizingFlexibleRightMargin = 4,
    UIViewAutoresizingFlexibleTopMargin = 8,
    UIViewAutoresizingFlexibleHeight = 16,
    UIViewAutoresizingFlexibleBottomMargin = 32,
};

// Animation option bits as the phone numbered them.
enum : uint32_t {
    UIViewAnimationOptionAllowUserInteraction = 1u << 1,
    UIViewAnimationOptionCurveLinear = 3u << 16,
    UIViewAnimationOptionTransitionFlipFromLeft = 1u << 20,
    UIViewAnimationOptionTransitionFlipFromRight = 2u << 20,
    UIViewAnimationOptionTransitionCurlUp = 3u << 20,
    UIViewAnimationOptionTransitionCurlDown = 4u << 20,
    UIViewAnimationOptionTransitionMask = 7u << 20,
};

// Draws a view in place of its content while a transition runs (see
// UIView::transitionWithView): `progress` goes from 0 to 1.
class UIViewTransitionPainter {
public:
    virtual ~UIViewTransitionPainter() = default;
    virtual void paint(cairo_t* cr, const CGSize& size, double progress) = 0;
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
    // True when `view` is this view or one of its subviews, at any depth.
    bool isAncestorOf(const UIView* view) const;

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    bool userInteractionEnabled() const { return interaction_; }
    void setUserInteractionEnabled(bool on) { interaction_ = on; }
    // No colour: clear.
    void setBackgroundColor(std::optional<UIColor> colour);
    const std::optional<UIColor>& backgroundColor() const { return background_; }

    // The view's opacity (0 to 1) as last set; while an animation of it
    // runs, drawing uses the animated value (presentationAlpha).
    double alpha() const { return alpha_; }
    void setAlpha(double alpha);
    double presentationAlpha() const;

    // A rotation about the view's centre (radians; 0 is the identity).
    double rotation() const { return rotation_; }
    void setRotation(double radians);

    UIViewLayer& layer() { return layer_; }
    const UIViewLayer& layer() const { return layer_; }
    void setClipsToBounds(bool on) { layer_.masksToBounds = on; }

    uint32_t autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(uint32_t mask) { autoresizingMask_ = mask; }

    // Draws the view's own content in its bounds (cr is translated to the
    // view's origin); the default fills the background colour (in the
    // layer's rounded rectangle).
    virtual void drawRect(cairo_t* cr);
    // Asks the window to draw again (main thread).
    void setNeedsDisplay();

    // True when the point (in this view's coordinates) is inside it.
    virtual bool pointInside(const CGPoint& point) const;
    // The deepest visible, interactive view at `point` (in this view's
    // coordinates), or null.
    virtual UIView* hitTest(const CGPoint& point);
    // A point from window coordinates to this view's.
    CGPoint convertFromWindow(const CGPoint& p) const;

    // The controller whose view this is (then the next responder).
    void setViewController(UIViewController* controller) { controller_ = controller; }
    UIResponder* nextResponder() const override;

    // Animates the alpha of every view whose alpha `animations` sets, from
    // its value before to the value set, over `duration` seconds after
    // `delay`; then calls `completion` (with true) on the main context.
    // Times come from `clock` (tests drive it).
    static void animateWithDuration(double duration, double delay, uint32_t options,
                                    const std::function<void()>& animations,
                                    std::function<void(bool finished)> completion,
                                    const std::shared_ptr<Clock>& clock);
    // Runs `animations` (a change of the view's subviews) and shows the
    // change with the transition of `options` (flip or curl) over
    // `duration` seconds: the view is drawn by a painter between pictures
    // of before and after; then `completion`.
    static void transitionWithView(const std::shared_ptr<UIView>& view, double duration, uint32_t options,
                                   const std::function<void()>& animations,
                                   std::function<void(bool finished)> completion,
                                   const std::shared_ptr<Clock>& clock);
    // The running transition's painter, or null.
    UIViewTransitionPainter* transitionPainter() const { return transition_.get(); }
    bool isAnimating() const;

private:
    friend struct UIViewAnimation;
    friend void renderViewTree(UIView* view, cairo_t* cr);

    CGRect frame_;
    UIView* superview_ = nullptr;
    std::vector<std::shared_ptr<UIView>> subviews_;
    UIViewController* controller_ = nullptr;
    std::optional<UIColor> background_;
    UIViewLayer layer_;
    uint32_t autoresizingMask_ = 0;
    double alpha_ = 1.0;
    double rotation_ = 0;
    bool hidden_ = false;
    bool interaction_ = true;
    // The running alpha animation (shared with its timer), if any.
    std::shared_ptr<struct UIViewAnimation> alphaAnimation_;
    std::unique_ptr<UIViewTransitionPainter> transition_;
};

// Draws `view` and its subviews into cr (in the view's superview's
// coordinates), with each view's alpha, rotation, layer and clipping.
void renderViewTree(UIView* view, cairo_t* cr);

// A picture of the view and its subviews as they are drawn now, at
// `scale` pixels per point, in an ARGB32 image surface (premultiplied);
// the caller destroys it. Null for an empty view.
cairo_surface_t* renderViewImage(UIView* view, double scale);

}  // namespace KelpaPlatform
