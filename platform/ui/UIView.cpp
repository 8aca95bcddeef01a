#include "platform/ui/UIView.h"

#include <cairo.h>

#include <algorithm>

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

UIView::UIView(const CGRect& frame) : frame_(frame) {}

UIView::~UIView() {
    for (auto& v : subviews_) v->superview_ = nullptr;
}

void UIView::setFrame(const CGRect& frame) {
    frame_ = frame;
    setNeedsDisplay();
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
    if (!view || view.get() == this) return;
    std::shared_ptr<UIView> keep = view;  // removal below may drop the last other reference
    if (view->superview_) {
        UIView* old = view->superview_;
        old->subviews_.erase(std::remove(old->subviews_.begin(), old->subviews_.end(), view), old->subviews_.end());
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

void UIView::setHidden(bool hidden) {
    hidden_ = hidden;
    setNeedsDisplay();
}

void UIView::setBackgroundColor(std::optional<UIColor> colour) {
    background_ = colour;
    setNeedsDisplay();
}

void UIView::drawRect(cairo_t* cr) {
    if (!background_ || background_->a <= 0) return;
    cairo_set_source_rgba(cr, background_->r, background_->g, background_->b, background_->a);
    cairo_rectangle(cr, 0, 0, frame_.size.width, frame_.size.height);
    cairo_fill(cr);
}

void UIView::setNeedsDisplay() {
    if (UIWindow* w = window()) w->surfaceNeedsDisplay();
}

UIView* UIView::hitTest(const CGPoint& point) {
    if (hidden_ || !interaction_) return nullptr;
    if (!bounds().contains(point)) return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        UIView* sub = it->get();
        CGPoint p{point.x - sub->frame_.origin.x, point.y - sub->frame_.origin.y};
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

void renderViewTree(UIView* view, cairo_t* cr) {
    if (!view || view->isHidden()) return;
    const CGRect& f = view->frame();
    cairo_save(cr);
    cairo_translate(cr, f.origin.x, f.origin.y);
    cairo_rectangle(cr, 0, 0, f.size.width, f.size.height);
    cairo_clip(cr);
    view->drawRect(cr);
    // A copy: drawing must not be disturbed by a view tree change.
    std::vector<std::shared_ptr<UIView>> subs = view->subviews();
    for (auto& s : subs) renderViewTree(s.get(), cr);
    cairo_restore(cr);
}

}  // namespace KelpaPlatform
