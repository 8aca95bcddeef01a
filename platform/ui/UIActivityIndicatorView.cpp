#include "platform/ui/UIActivityIndicatorView.h"

#include <cairo.h>

#include <cmath>

#include "platform/ns/NSClock.h"

namespace KelpaPlatform {

namespace {
constexpr int kSpokes = 12;
constexpr double kStepSeconds = 1.0 / 12.0;  // a turn a second
}  // namespace

UIActivityIndicatorView::UIActivityIndicatorView(UIActivityIndicatorViewStyle style, std::shared_ptr<Clock> clock)
    : UIView(CGRectMake(0, 0, style == UIActivityIndicatorViewStyle::WhiteLarge ? 37 : 20,
                        style == UIActivityIndicatorViewStyle::WhiteLarge ? 37 : 20)),
      style_(style),
      clock_(std::move(clock)) {
    setHidden(true);  // hidden while stopped, as the phone's is
}

UIActivityIndicatorView::~UIActivityIndicatorView() { stopAnimating(); }

void UIActivityIndicatorView::startAnimating() {
    if (animating_) return;
    animating_ = true;
    setHidden(false);
    timer_ = clock_->schedule(kStepSeconds, [this] { tick(); });
}

void UIActivityIndicatorView::stopAnimating() {
    if (!animating_) return;
    animating_ = false;
    if (timer_) clock_->cancel(timer_);
    timer_ = 0;
    setHidden(true);
}

void UIActivityIndicatorView::tick() {
    timer_ = 0;
    if (!animating_) return;
    step_ = (step_ + 1) % kSpokes;
    setNeedsDisplay();
    timer_ = clock_->schedule(kStepSeconds, [this] { tick(); });
}

void UIActivityIndicatorView::drawRect(cairo_t* cr) {
    UIView::drawRect(cr);
    bool large = style_ == UIActivityIndicatorViewStyle::WhiteLarge;
    double size = large ? 37 : 20;
    double grey = style_ == UIActivityIndicatorViewStyle::Gray ? 0.4 : 1.0;
    CGRect b = bounds();
    double cx = b.size.width / 2, cy = b.size.height / 2;
    double outer = size / 2, inner = outer * 0.45;
    cairo_save(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, large ? 4.0 : 2.2);
    for (int i = 0; i < kSpokes; ++i) {
        // The brightest spoke is the current step; the ones behind it fade.
        int behind = (step_ - i + kSpokes) % kSpokes;
        double alpha = 1.0 - 0.75 * double(behind) / double(kSpokes - 1);
        double a = 2 * M_PI * i / kSpokes - M_PI / 2;
        cairo_set_source_rgba(cr, grey, grey, grey, alpha);
        cairo_move_to(cr, cx + std::cos(a) * inner, cy + std::sin(a) * inner);
        cairo_line_to(cr, cx + std::cos(a) * (outer - 2), cy + std::sin(a) * (outer - 2));
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

}  // namespace KelpaPlatform
