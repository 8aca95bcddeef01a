#include "platform/ui/UIView.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/ns/NSClock.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

namespace KelpaPlatform {

CGPoint UITouch::locationInView(const UIView* view) const {
    return view ? view->convertFromWindow(windowLocation) : windowLocation;
}

void UIResponder::touchesBegan(const UITouchSet& t) {
    if (UIResponder* n = nextResponder()) n->touchesBegan(t);
}
void UIResponder::touchesMoved(const UITouchSet& t) {
    if (UIResponder* n = nextResponder()) n->touchesMoved(t);
}
void UIResponder::touchesEnded(const UITouchSet& t) {
    if (UIResponder* n = nextResponder()) n->touchesEnded(t);
}
void UIResponder::touchesCancelled(const UITouchSet& t) {
    if (UIResponder* n = nextResponder()) n->touchesCancelled(t);
}

// One view's alpha moving from one value to another.
struct UIViewAnimation {
    double from = 1, to = 1;
    double start = 0;  // when the change begins (after the delay)
    double duration = 0;
    bool linear = false;
    std::weak_ptr<Clock> clock;  // the clock keeps the animation's ticks, not the other way round

    double value() const {
        auto c = clock.lock();
        if (!c) return to;
        double t = duration > 0 ? (c->now() - start) / duration : 1.0;
        t = std::clamp(t, 0.0, 1.0);
        if (!linear) t = t * t * (3 - 2 * t);  // ease in and out
        return from + (to - from) * t;
    }
};

namespace {

constexpr double kTick = 1.0 / 60.0;

// The views whose alpha an animation block changes, with their alpha
// before it (main thread only, only while a block runs).
std::vector<std::pair<std::weak_ptr<UIView>, double>>* gCapture = nullptr;

// Redraws the views every tick until `end`, then runs `finish`. The tick
// holds the clock weakly: the clock holds the tick.
void tickUntil(const std::shared_ptr<Clock>& clock, double end, std::vector<std::weak_ptr<UIView>> views,
               std::function<void()> finish) {
    std::weak_ptr<Clock> weak = clock;
    clock->schedule(kTick, [weak, end, views = std::move(views), finish = std::move(finish)]() mutable {
        auto c = weak.lock();
        if (!c) return;
        for (auto& w : views) {
            if (auto v = w.lock()) v->setNeedsDisplay();
        }
        if (c->now() + 1e-9 >= end) {
            finish();
            return;
        }
        tickUntil(c, end, std::move(views), std::move(finish));
    });
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::max(0.0, std::min(r, std::min(w, h) / 2));
    if (r <= 0) {
        cairo_rectangle(cr, x, y, w, h);
        return;
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// The view's content and subviews at (0, 0), without its own frame
// origin, rotation or alpha.
void renderContent(UIView* view, cairo_t* cr) {
    const CGRect& f = view->frame();
    const UIViewLayer& layer = view->layer();
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, f.size.width, f.size.height);
    cairo_clip(cr);
    if (UIViewTransitionPainter* painter = view->transitionPainter()) {
        painter->paint(cr, f.size, -1);
        cairo_restore(cr);
        return;
    }
    view->drawRect(cr);
    cairo_save(cr);
    if (layer.masksToBounds && layer.cornerRadius > 0) {
        roundedRect(cr, 0, 0, f.size.width, f.size.height, layer.cornerRadius);
        cairo_clip(cr);
    }
    // A copy: drawing must not be disturbed by a view tree change.
    std::vector<std::shared_ptr<UIView>> subs = view->subviews();
    for (auto& s : subs) renderViewTree(s.get(), cr);
    cairo_restore(cr);
    if (layer.borderWidth > 0 && layer.borderColor && layer.borderColor->a > 0) {
        // Drawn inside the bounds, above the content.
        double bw = layer.borderWidth;
        const UIColor& c = *layer.borderColor;
        cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
        cairo_set_line_width(cr, bw);
        roundedRect(cr, bw / 2, bw / 2, f.size.width - bw, f.size.height - bw, layer.cornerRadius - bw / 2);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

// Flip and curl between two pictures of a view, drawn in 2D.
class TransitionPainter final : public UIViewTransitionPainter {
public:
    TransitionPainter(cairo_surface_t* before, cairo_surface_t* after, uint32_t kind, double scale,
                      std::weak_ptr<Clock> clock, double start, double duration)
        : before_(before), after_(after), kind_(kind), scale_(scale), clock_(std::move(clock)), start_(start),
          duration_(duration) {}
    ~TransitionPainter() override {
        if (before_) cairo_surface_destroy(before_);
        if (after_) cairo_surface_destroy(after_);
    }

    void paint(cairo_t* cr, const CGSize& size, double progress) override {
        if (progress < 0) {
            auto c = clock_.lock();
            progress = c && duration_ > 0 ? std::clamp((c->now() - start_) / duration_, 0.0, 1.0) : 1.0;
            progress = progress * progress * (3 - 2 * progress);
        }
        switch (kind_) {
        case UIViewAnimationOptionTransitionFlipFromLeft: flip(cr, size, progress, 1); break;
        case UIViewAnimationOptionTransitionFlipFromRight: flip(cr, size, progress, -1); break;
        case UIViewAnimationOptionTransitionCurlUp: curl(cr, size, progress, true); break;
        case UIViewAnimationOptionTransitionCurlDown: curl(cr, size, progress, false); break;
        default: picture(cr, progress < 1 ? before_ : after_, 1); break;
        }
    }

private:
    void picture(cairo_t* cr, cairo_surface_t* s, double alpha) {
        if (!s) return;
        cairo_save(cr);
        cairo_scale(cr, 1 / scale_, 1 / scale_);
        cairo_set_source_surface(cr, s, 0, 0);
        cairo_paint_with_alpha(cr, alpha);
        cairo_restore(cr);
    }

    // The view turns about its vertical centre line, in perspective: the
    // page is drawn in narrow columns, each placed and scaled by its depth.
    // Past the edge-on moment the back of the page shows the new picture,
    // the right way round.
    void flip(cairo_t* cr, const CGSize& size, double p, int direction) {
        double w = size.width, h = size.height;
        double angle = M_PI * p;
        bool back = angle > M_PI / 2;
        cairo_surface_t* s = back ? after_ : before_;
        if (!s || w <= 0 || h <= 0) return;
        double c = std::cos(angle), sn = std::sin(angle) * direction;
        double depth = std::max(w, h) * 2.5;
        const double step = 2.0;
        for (double u0 = -w / 2; u0 < w / 2; u0 += step) {
            double cw = std::min(step, w / 2 - u0);
            double u = u0 + cw / 2;              // the column's centre on the page
            double k = depth / (depth + u * sn);  // nearer is larger
            double x = w / 2 + u * c * k;
            double colW = std::fabs(cw * c) * k + 0.6;
            double colH = h * k;
            double picX = back ? w / 2 - u : w / 2 + u;
            cairo_save(cr);
            cairo_rectangle(cr, x - colW / 2, h / 2 - colH / 2, colW, colH);
            cairo_clip(cr);
            cairo_translate(cr, x, h / 2);
            cairo_scale(cr, std::max(std::fabs(c), 1e-3) * k, k);
            cairo_translate(cr, -picX, -h / 2);
            cairo_scale(cr, 1 / scale_, 1 / scale_);
            cairo_set_source_surface(cr, s, 0, 0);
            cairo_paint(cr);
            cairo_restore(cr);
        }
        // Turned away from the light: darker towards the edge-on moment.
        double shade = 0.45 * std::fabs(std::sin(angle));
        if (shade > 0.01) {
            double half = w / 2 * std::fabs(c) + 1;
            cairo_set_source_rgba(cr, 0, 0, 0, shade);
            cairo_rectangle(cr, w / 2 - half, 0, half * 2, h);
            cairo_fill(cr);
        }
    }

    // Curl up: the old picture is peeled away upwards, the new one lies
    // under it. Curl down: the new picture comes down over the old one.
    void curl(cairo_t* cr, const CGSize& size, double p, bool up) {
        double w = size.width, h = size.height;
        cairo_surface_t* under = up ? after_ : before_;
        cairo_surface_t* over = up ? before_ : after_;
        double edge = up ? h * (1 - p) : h * p;  // the page's lower edge
        picture(cr, under, 1);
        cairo_save(cr);
        cairo_rectangle(cr, 0, 0, w, edge);
        cairo_clip(cr);
        picture(cr, over, 1);
        cairo_restore(cr);
        // The rolled part of the page: a band below the edge, lit on top
        // and shadowed underneath.
        double band = std::min(h * 0.35, std::max(0.0, std::min(edge, h - edge)) + 4);
        if (band <= 0.5 || p <= 0 || p >= 1) return;
        cairo_pattern_t* roll = cairo_pattern_create_linear(0, edge, 0, edge + band);
        cairo_pattern_add_color_stop_rgba(roll, 0.0, 0.55, 0.55, 0.58, 0.95);
        cairo_pattern_add_color_stop_rgba(roll, 0.45, 0.97, 0.97, 0.98, 0.95);
        cairo_pattern_add_color_stop_rgba(roll, 1.0, 0.65, 0.65, 0.68, 0.9);
        cairo_set_source(cr, roll);
        cairo_rectangle(cr, 0, edge, w, band);
        cairo_fill(cr);
        cairo_pattern_destroy(roll);
        cairo_pattern_t* shadow = cairo_pattern_create_linear(0, edge + band, 0, edge + band + 6);
        cairo_pattern_add_color_stop_rgba(shadow, 0, 0, 0, 0, 0.35);
        cairo_pattern_add_color_stop_rgba(shadow, 1, 0, 0, 0, 0);
        cairo_set_source(cr, shadow);
        cairo_rectangle(cr, 0, edge + band, w, 6);
        cairo_fill(cr);
        cairo_pattern_destroy(shadow);
    }

    cairo_surface_t* before_;
    cairo_surface_t* after_;
    uint32_t kind_;
    double scale_;
    std::weak_ptr<Clock> clock_;
    double start_, duration_;
};

}  // namespace

UIView::UIView(const CGRect& frame) : frame_(frame) {}

UIView::~UIView() {
    for (auto& v : subviews_) v->superview_ = nullptr;
}

void UIView::setFrame(const CGRect& frame) {
    frame_ = frame;
    setNeedsDisplay();
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
    if (!view || view.get() == this || view->isAncestorOf(this)) return;
    // Already the frontmost: nothing moves, nothing to draw again.
    if (view->superview_ == this && !subviews_.empty() && subviews_.back() == view) return;
    std::shared_ptr<UIView> keep = view;  // removal below may drop the last other reference
    if (view->superview_) {
        UIView* old = view->superview_;
        old->subviews_.erase(std::remove(old->subviews_.begin(), old->subviews_.end(), view), old->subviews_.end());
        old->setNeedsDisplay();
    }
    subviews_.push_back(keep);
    keep->superview_ = this;
    setNeedsDisplay();
}

void UIView::removeFromSuperview() {
    UIView* parent = superview_;
    if (!parent) return;
    // Keeps this view alive until the call ends, even when the superview
    // held the last reference.
    std::shared_ptr<UIView> self = shared_from_this();
    superview_ = nullptr;
    parent->subviews_.erase(std::remove(parent->subviews_.begin(), parent->subviews_.end(), self),
                            parent->subviews_.end());
    parent->setNeedsDisplay();
}

UIWindow* UIView::window() const {
    const UIView* v = this;
    while (v->superview_) v = v->superview_;
    return const_cast<UIView*>(v)->asWindow();
}

bool UIView::isAncestorOf(const UIView* view) const {
    for (const UIView* v = view; v; v = v->superview_) {
        if (v == this) return true;
    }
    return false;
}

void UIView::setHidden(bool hidden) {
    hidden_ = hidden;
    setNeedsDisplay();
}

void UIView::setBackgroundColor(std::optional<UIColor> colour) {
    background_ = colour;
    setNeedsDisplay();
}

void UIView::setAlpha(double alpha) {
    alpha = std::clamp(alpha, 0.0, 1.0);
    if (gCapture) {
        std::weak_ptr<UIView> self = weak_from_this();
        if (!self.expired()) {
            bool seen = false;
            for (auto& [w, before] : *gCapture) seen = seen || w.lock().get() == this;
            if (!seen) gCapture->emplace_back(self, presentationAlpha());
        }
    } else {
        alphaAnimation_.reset();
    }
    alpha_ = alpha;
    setNeedsDisplay();
}

double UIView::presentationAlpha() const { return alphaAnimation_ ? alphaAnimation_->value() : alpha_; }

bool UIView::isAnimating() const { return alphaAnimation_ != nullptr || transition_ != nullptr; }

void UIView::setRotation(double radians) {
    rotation_ = radians;
    setNeedsDisplay();
}

void UIView::drawRect(cairo_t* cr) {
    if (!background_ || background_->a <= 0) return;
    cairo_set_source_rgba(cr, background_->r, background_->g, background_->b, background_->a);
    roundedRect(cr, 0, 0, frame_.size.width, frame_.size.height, layer_.cornerRadius);
    cairo_fill(cr);
}

void UIView::setNeedsDisplay() {
    if (UIWindow* w = window()) w->surfaceNeedsDisplay();
}

bool UIView::pointInside(const CGPoint& point) const { return bounds().contains(point); }

UIView* UIView::hitTest(const CGPoint& point) {
    if (hidden_ || !interaction_ || alpha_ <= 0.01) return nullptr;
    if (!pointInside(point)) return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        UIView* sub = it->get();
        CGPoint p{point.x - sub->frame_.origin.x, point.y - sub->frame_.origin.y};
        if (sub->rotation_ != 0) {
            // Into the unrotated view: turn back about its centre.
            double cx = sub->frame_.size.width / 2, cy = sub->frame_.size.height / 2;
            double c = std::cos(-sub->rotation_), s = std::sin(-sub->rotation_);
            double dx = p.x - cx, dy = p.y - cy;
            p = CGPoint{cx + dx * c - dy * s, cy + dx * s + dy * c};
        }
        if (UIView* hit = sub->hitTest(p)) return hit;
    }
    return this;
}

CGPoint UIView::convertFromWindow(const CGPoint& p) const {
    CGPoint r = p;
    for (const UIView* v = this; v && v->superview_; v = v->superview_) {
        r.x -= v->frame_.origin.x;
        r.y -= v->frame_.origin.y;
    }
    return r;
}

UIResponder* UIView::nextResponder() const {
    if (controller_) return controller_;
    return superview_;
}

void UIView::animateWithDuration(double duration, double delay, uint32_t options,
                                 const std::function<void()>& animations,
                                 std::function<void(bool)> completion, const std::shared_ptr<Clock>& clock) {
    if (!(duration >= 0)) duration = 0;
    if (!(delay >= 0)) delay = 0;
    std::vector<std::pair<std::weak_ptr<UIView>, double>> changed;
    auto* outer = gCapture;
    gCapture = &changed;
    if (animations) animations();
    gCapture = outer;

    double start = clock->now() + delay;
    bool linear = (options & UIViewAnimationOptionCurveLinear) == UIViewAnimationOptionCurveLinear;
    std::vector<std::weak_ptr<UIView>> views;
    std::vector<std::pair<std::weak_ptr<UIView>, std::shared_ptr<UIViewAnimation>>> mine;
    for (auto& [weak, before] : changed) {
        auto v = weak.lock();
        if (!v) continue;
        auto a = std::make_shared<UIViewAnimation>();
        a->from = before;
        a->to = v->alpha_;
        a->start = start;
        a->duration = duration;
        a->linear = linear;
        a->clock = clock;
        v->alphaAnimation_ = a;
        views.push_back(weak);
        mine.emplace_back(weak, a);
    }
    tickUntil(clock, start + duration, views, [mine, completion = std::move(completion)]() {
        for (auto& [weak, a] : mine) {
            auto v = weak.lock();
            if (v && v->alphaAnimation_ == a) {
                v->alphaAnimation_.reset();
                v->setNeedsDisplay();
            }
        }
        if (completion) completion(true);
    });
}

void UIView::transitionWithView(const std::shared_ptr<UIView>& view, double duration, uint32_t options,
                                const std::function<void()>& animations, std::function<void(bool)> completion,
                                const std::shared_ptr<Clock>& clock) {
    if (!view) {
        if (animations) animations();
        if (completion) completion(true);
        return;
    }
    if (!(duration >= 0)) duration = 0;
    double scale = UIScreen::mainScreen().scale();
    view->transition_.reset();  // a new transition starts from what shows now
    cairo_surface_t* before = renderViewImage(view.get(), scale);
    if (animations) animations();
    cairo_surface_t* after = renderViewImage(view.get(), scale);
    double start = clock->now();
    auto* painter = new TransitionPainter(before, after, options & UIViewAnimationOptionTransitionMask, scale, clock,
                                          start, duration);
    view->transition_.reset(painter);
    view->setNeedsDisplay();
    std::weak_ptr<UIView> weak = view;
    tickUntil(clock, start + duration, {weak}, [weak, painter, completion = std::move(completion)]() {
        auto v = weak.lock();
        if (v && v->transition_.get() == painter) {
            v->transition_.reset();
            v->setNeedsDisplay();
        }
        if (completion) completion(true);
    });
}

void renderViewTree(UIView* view, cairo_t* cr) {
    if (!view || view->isHidden()) return;
    double alpha = view->presentationAlpha();
    if (alpha <= 0) return;
    const CGRect& f = view->frame();
    cairo_save(cr);
    cairo_translate(cr, f.origin.x, f.origin.y);
    if (view->rotation() != 0) {
        cairo_translate(cr, f.size.width / 2, f.size.height / 2);
        cairo_rotate(cr, view->rotation());
        cairo_translate(cr, -f.size.width / 2, -f.size.height / 2);
    }
    if (alpha < 1) {
        cairo_push_group(cr);
        renderContent(view, cr);
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, alpha);
    } else {
        renderContent(view, cr);
    }
    cairo_restore(cr);
}

cairo_surface_t* renderViewImage(UIView* view, double scale) {
    if (!view || !(scale > 0)) return nullptr;
    int w = int(std::ceil(view->frame().size.width * scale));
    int h = int(std::ceil(view->frame().size.height * scale));
    if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return nullptr;
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(image);
    cairo_scale(cr, scale, scale);
    renderContent(view, cr);
    cairo_destroy(cr);
    cairo_surface_flush(image);
    return image;
}

}  // namespace KelpaPlatform
