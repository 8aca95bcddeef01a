#include "adkasa_sdk_ios/ADKSGradientButton.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "platform/ui/UIColorNames.h"

using namespace KelpaPlatform;

namespace {

constexpr double kDefaultCornerRadius = 10.0;
constexpr double kDefaultBorderWidth = 2.0;
constexpr double kTextInset = 4.0;

UIColor rgb255(double r, double g, double b, double a) { return UIColor{r / 255.0, g / 255.0, b / 255.0, a}; }

bool same(const ADKSGradientButton::Colour& a, const ADKSGradientButton::Colour& b) { return colorsEqual(a, b); }
bool same(const ADKSGradientButton::Image& a, const ADKSGradientButton::Image& b) { return a == b; }
template <class T>
bool same(const std::optional<T>& a, const std::optional<T>& b) {
    return a == b;
}

void roundedRectPath(cairo_t* cr, const CGRect& r, double radius) {
    radius = std::clamp(radius, 0.0, std::min(r.size.width, r.size.height) / 2);
    const double x0 = r.origin.x, y0 = r.origin.y, x1 = x0 + r.size.width, y1 = y0 + r.size.height;
    cairo_new_path(cr);
    cairo_arc(cr, x1 - radius, y0 + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, x1 - radius, y1 - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, x0 + radius, y1 - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + radius, y0 + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void setSource(cairo_t* cr, const UIColor& c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

// An accessory image no taller than `avail`, keeping its shape.
CGSize accessorySize(const UIImage& image, double avail) {
    const CGSize s = image.size();
    const double h = std::min(avail, s.height);
    return CGSize{s.width * h / s.height, h};
}

}  // namespace

ADKSGradientButton::ADKSGradientButton(const CGRect& frame, uint64_t style, double cornerRadius, double borderWidth,
                                       const Text& text)
    : UIControl(frame), cornerRadius_(cornerRadius), borderWidth_(borderWidth), text_(text) {
    performDefaultInit();
    // The class-wide defaults: style 1's colours on every button at its
    // creation, then the chosen style over them.
    applyStyleOneColours();
    style_ = style;
    if (style_ != 1) updateAccordingToStyle();
}

ADKSGradientButton::ADKSGradientButton(const CGRect& frame, double cornerRadius, double borderWidth, const Text& text)
    : ADKSGradientButton(frame, 1, cornerRadius, borderWidth, text) {}

ADKSGradientButton::ADKSGradientButton(const CGRect& frame, uint64_t style)
    : ADKSGradientButton(frame, style, kDefaultCornerRadius, kDefaultBorderWidth, std::nullopt) {}

ADKSGradientButton::ADKSGradientButton(const CGRect& frame)
    : ADKSGradientButton(frame, 1, kDefaultCornerRadius, kDefaultBorderWidth, std::nullopt) {}

ADKSGradientButton::~ADKSGradientButton() = default;

void ADKSGradientButton::performDefaultInit() {
    highlightedText_ = text_;
    disabledText_ = text_;
    highlightedAttributed_ = attributed_;
    disabledAttributed_ = attributed_;
    titleLabel_ = std::make_shared<UILabel>();
    titleLabel_->setTextAlignment(NSTextAlignment::Center);
    titleLabel_->setLineBreakMode(NSLineBreakMode::ByTruncatingMiddle);
    titleLabel_->setNumberOfLines(0);
    titleLabel_->setFont(UIFont::boldSystemFontOfSize(15));
    titleLabel_->setMinimumFontSize(12);
    titleLabel_->setShadowOffset(CGSize{0, -1});
    gradientEnabled_ = 1;
    glossy_ = 0;
    glossyStart_ = colorWithWhite(1, 0.35);
    glossyEnd_ = colorWithWhite(1, 0.1);
    setBackgroundColor(std::nullopt);
}

void ADKSGradientButton::applyStyleOneColours() {
    setTintColor(rgb255(220, 220, 220, 1));
    setHighlightedTintColor(rgb255(0, 157, 255, 1));
    setBorderColor(darkGrayColor());
    setHighlightedBorderColor(whiteColor());
    setTextColor(blackColor());
    setHighlightedTextColor(whiteColor());
    setTextShadowColor(clearColor());
    setHighlightedTextShadowColor(darkGrayColor());
}

void ADKSGradientButton::updateAccordingToStyle() {
    switch (style_) {
    case 1: applyStyleOneColours(); break;
    case 2:
    case 3: {
        const double a = style_ == 2 ? 1.0 : 0.7;
        setTintColor(rgb255(0, 0, 0, a));
        setHighlightedTintColor(rgb255(3, 112, 236, a));
        setBorderColor(whiteColor());
        setHighlightedBorderColor(whiteColor());
        setTextColor(whiteColor());
        setHighlightedTextColor(whiteColor());
        setTextShadowColor(clearColor());
        setHighlightedTextShadowColor(clearColor());
        break;
    }
    default: break;
    }
}

void ADKSGradientButton::setStyle(uint64_t style) {
    if (style == style_) return;
    style_ = style;
    updateAccordingToStyle();
}

void ADKSGradientButton::redraw() {
    ++redraws_;
    setNeedsDisplay();
}

template <class T, class Shown>
void ADKSGradientButton::change(T& field, const T& value, Shown shown) {
    if (same(field, value)) return;
    const auto before = shown();
    field = value;
    if (!same(before, shown())) redraw();
}

void ADKSGradientButton::setTintColor(const Colour& c) {
    change(tint_, c, [this] { return tintColorAccordingToCurrentState(); });
}
void ADKSGradientButton::setHighlightedTintColor(const Colour& c) {
    change(highlightedTint_, c, [this] { return tintColorAccordingToCurrentState(); });
}
void ADKSGradientButton::setBorderColor(const Colour& c) {
    change(border_, c, [this] { return borderColorAccordingToCurrentState(); });
}
void ADKSGradientButton::setHighlightedBorderColor(const Colour& c) {
    change(highlightedBorder_, c, [this] { return borderColorAccordingToCurrentState(); });
}
void ADKSGradientButton::setTextColor(const Colour& c) {
    change(textColour_, c, [this] { return textColorAccordingToCurrentState(); });
}
void ADKSGradientButton::setHighlightedTextColor(const Colour& c) {
    change(highlightedTextColour_, c, [this] { return textColorAccordingToCurrentState(); });
}
void ADKSGradientButton::setTextShadowColor(const Colour& c) {
    change(shadow_, c, [this] { return textShadowColorAccordingToCurrentState(); });
}
void ADKSGradientButton::setHighlightedTextShadowColor(const Colour& c) {
    change(highlightedShadow_, c, [this] { return textShadowColorAccordingToCurrentState(); });
}
void ADKSGradientButton::setText(const Text& t) {
    change(text_, t, [this] { return textAccordingToCurrentState(); });
}
void ADKSGradientButton::setHighlightedText(const Text& t) {
    change(highlightedText_, t, [this] { return textAccordingToCurrentState(); });
}
void ADKSGradientButton::setDisabledText(const Text& t) {
    change(disabledText_, t, [this] { return textAccordingToCurrentState(); });
}
void ADKSGradientButton::setAttributedText(const AttributedText& t) {
    change(attributed_, t, [this] { return attributedTextAccordingToCurrentState(); });
}
void ADKSGradientButton::setHighlightedAttributedText(const AttributedText& t) {
    change(highlightedAttributed_, t, [this] { return attributedTextAccordingToCurrentState(); });
}
void ADKSGradientButton::setDisabledAttributedText(const AttributedText& t) {
    change(disabledAttributed_, t, [this] { return attributedTextAccordingToCurrentState(); });
}
void ADKSGradientButton::setRightAccessoryImage(const Image& i) {
    change(right_, i, [this] { return rightAccessoryImageAccordingToCurrentState(); });
}
void ADKSGradientButton::setRightHighlightedAccessoryImage(const Image& i) {
    change(highlightedRight_, i, [this] { return rightAccessoryImageAccordingToCurrentState(); });
}
void ADKSGradientButton::setLeftAccessoryImage(const Image& i) {
    change(left_, i, [this] { return leftAccessoryImageAccordingToCurrentState(); });
}
void ADKSGradientButton::setLeftHighlightedAccessoryImage(const Image& i) {
    change(highlightedLeft_, i, [this] { return leftAccessoryImageAccordingToCurrentState(); });
}

void ADKSGradientButton::setGradientEnabled(int64_t on) {
    if (on == gradientEnabled_) return;
    gradientEnabled_ = on;
    redraw();
}

void ADKSGradientButton::setGlossy(int64_t on) {
    if (on == glossy_) return;
    glossy_ = on;
    redraw();
}

namespace {
bool highlightedBits(UIControlState s) { return s & (UIControlStateHighlighted | UIControlStateSelected); }
}  // namespace

void ADKSGradientButton::setTintColor(const Colour& c, UIControlState s) {
    if (s == UIControlStateNormal) setTintColor(c);
    else if (highlightedBits(s)) setHighlightedTintColor(c);
}
void ADKSGradientButton::setBorderColor(const Colour& c, UIControlState s) {
    if (s == UIControlStateNormal) setBorderColor(c);
    else if (highlightedBits(s)) setHighlightedBorderColor(c);
}
void ADKSGradientButton::setTextColor(const Colour& c, UIControlState s) {
    if (s == UIControlStateNormal) setTextColor(c);
    else if (highlightedBits(s)) setHighlightedTextColor(c);
}
void ADKSGradientButton::setTextShadowColor(const Colour& c, UIControlState s) {
    if (s == UIControlStateNormal) setTextShadowColor(c);
    else if (highlightedBits(s)) setHighlightedTextShadowColor(c);
}
void ADKSGradientButton::setRightAccessoryImage(const Image& i, UIControlState s) {
    if (s == UIControlStateNormal) setRightAccessoryImage(i);
    else if (highlightedBits(s)) setRightHighlightedAccessoryImage(i);
}
void ADKSGradientButton::setLeftAccessoryImage(const Image& i, UIControlState s) {
    if (s == UIControlStateNormal) setLeftAccessoryImage(i);
    else if (highlightedBits(s)) setLeftHighlightedAccessoryImage(i);
}
void ADKSGradientButton::setText(const Text& t, UIControlState s) {
    if (s == UIControlStateNormal) return setText(t);
    if (highlightedBits(s)) setHighlightedText(t);
    if (s & UIControlStateDisabled) setDisabledText(t);
}
void ADKSGradientButton::setAttributedText(const AttributedText& t, UIControlState s) {
    if (s == UIControlStateNormal) return setAttributedText(t);
    if (highlightedBits(s)) setHighlightedAttributedText(t);
    if (s & UIControlStateDisabled) setDisabledAttributedText(t);
}

bool ADKSGradientButton::isHighlightedOrSelected() const { return highlightedBits(state()); }

ADKSGradientButton::Colour ADKSGradientButton::tintColorAccordingToCurrentState() const {
    return isHighlightedOrSelected() && highlightedTint_ ? highlightedTint_ : tint_;
}
ADKSGradientButton::Colour ADKSGradientButton::borderColorAccordingToCurrentState() const {
    return isHighlightedOrSelected() && highlightedBorder_ ? highlightedBorder_ : border_;
}
ADKSGradientButton::Colour ADKSGradientButton::textColorAccordingToCurrentState() const {
    Colour c = isHighlightedOrSelected() && highlightedTextColour_ ? highlightedTextColour_ : textColour_;
    if (c && !isEnabled()) c = colorWithAlpha(*c, 0.5);
    return c;
}
ADKSGradientButton::Colour ADKSGradientButton::textShadowColorAccordingToCurrentState() const {
    return isHighlightedOrSelected() && highlightedShadow_ ? highlightedShadow_ : shadow_;
}
ADKSGradientButton::Image ADKSGradientButton::rightAccessoryImageAccordingToCurrentState() const {
    return isHighlightedOrSelected() && highlightedRight_ ? highlightedRight_ : right_;
}
ADKSGradientButton::Image ADKSGradientButton::leftAccessoryImageAccordingToCurrentState() const {
    return isHighlightedOrSelected() && highlightedLeft_ ? highlightedLeft_ : left_;
}
ADKSGradientButton::Text ADKSGradientButton::textAccordingToCurrentState() const {
    if (!isEnabled() && disabledText_) return disabledText_;
    return isHighlightedOrSelected() && highlightedText_ ? highlightedText_ : text_;
}
ADKSGradientButton::AttributedText ADKSGradientButton::attributedTextAccordingToCurrentState() const {
    if (!isEnabled() && disabledAttributed_) return disabledAttributed_;
    return isHighlightedOrSelected() && highlightedAttributed_ ? highlightedAttributed_ : attributed_;
}

cairo_pattern_t* ADKSGradientButton::newGradientAccordingToCurrentState(const CGPoint& from, const CGPoint& to) const {
    const Colour t = tintColorAccordingToCurrentState();
    // The phone's arithmetic was single precision.
    const float c[4] = {t ? float(t->r) : 0.f, t ? float(t->g) : 0.f, t ? float(t->b) : 0.f, t ? float(t->a) : 0.f};
    const float step = 50.0f / 255.0f;
    cairo_pattern_t* g = cairo_pattern_create_linear(from.x, from.y, to.x, to.y);
    auto stop = [&](double at, float r, float gr, float b) { cairo_pattern_add_color_stop_rgba(g, at, r, gr, b, c[3]); };
    stop(0.0, std::min(1.0f, c[0] + step), std::min(1.0f, c[1] + step), std::min(1.0f, c[2] + step));
    stop(0.5, c[0], c[1], c[2]);
    stop(1.0, std::max(0.0f, c[0] - step), std::max(0.0f, c[1] - step), std::max(0.0f, c[2] - step));
    cairo_pattern_set_extend(g, CAIRO_EXTEND_NONE);
    return g;
}

bool ADKSGradientButton::beginTracking(const UITouch& touch) {
    setHighlighted(true);
    redraw();
    return UIControl::beginTracking(touch);
}

bool ADKSGradientButton::continueTracking(const UITouch& touch) {
    setHighlighted(bounds().contains(touch.locationInView(this)));
    redraw();
    return UIControl::continueTracking(touch);
}

void ADKSGradientButton::endTracking(const UITouch& touch) {
    UIControl::endTracking(touch);
    setHighlighted(false);
    redraw();
}

void ADKSGradientButton::cancelTracking(const UITouch& touch) {
    UIControl::cancelTracking(touch);
    setHighlighted(false);
    redraw();
}

UIAccessibilityTraits ADKSGradientButton::accessibilityTraits() const {
    UIAccessibilityTraits t = UIAccessibilityTraitButton;
    if (isHighlightedOrSelected()) t |= UIAccessibilityTraitSelected;
    if (!isEnabled()) t |= UIAccessibilityTraitNotEnabled;
    return t;
}

void ADKSGradientButton::drawRect(cairo_t* cr) {
    const CGRect b = bounds();
    const double inset = borderWidth_ + kTextInset;
    const double avail = b.size.height - 2 * inset;
    const Colour borderColour = borderColorAccordingToCurrentState();
    const Colour textColour = textColorAccordingToCurrentState();
    const Colour shadowColour = textShadowColorAccordingToCurrentState();
    const Text text = textAccordingToCurrentState();
    const AttributedText attributed = attributedTextAccordingToCurrentState();
    const Image left = leftAccessoryImageAccordingToCurrentState();
    const Image right = rightAccessoryImageAccordingToCurrentState();
    const double midX = b.origin.x + b.size.width / 2;
    const double minY = b.origin.y, maxY = b.origin.y + b.size.height;

    cairo_save(cr);
    roundedRectPath(cr, b, cornerRadius_);
    cairo_clip(cr);

    if (gradientEnabled_) {
        cairo_pattern_t* g = newGradientAccordingToCurrentState(CGPoint{midX, minY}, CGPoint{midX, maxY});
        cairo_set_source(cr, g);
        cairo_paint(cr);
        cairo_pattern_destroy(g);
    } else if (const Colour tint = tintColorAccordingToCurrentState()) {
        setSource(cr, *tint);
        cairo_paint(cr);
    }

    if (glossy_) {
        const UIColor s = glossyStart_.value_or(clearColor()), e = glossyEnd_.value_or(clearColor());
        cairo_pattern_t* g = cairo_pattern_create_linear(midX, minY, midX, maxY * 0.5);
        cairo_pattern_add_color_stop_rgba(g, 0, s.r, s.g, s.b, s.a);
        cairo_pattern_add_color_stop_rgba(g, 1, e.r, e.g, e.b, e.a);
        cairo_pattern_set_extend(g, CAIRO_EXTEND_NONE);
        cairo_set_source(cr, g);
        cairo_paint(cr);
        cairo_pattern_destroy(g);
    }

    CGRect leftRect, rightRect;
    if (left) {
        const CGSize s = accessorySize(*left, avail);
        leftRect = CGRectMake(inset, (b.size.height - s.height) / 2, s.width, s.height);
        left->drawInRect(cr, leftRect);
    }
    if (right) {
        const CGSize s = accessorySize(*right, avail);
        rightRect = CGRectMake(b.size.width - s.width - inset, (b.size.height - s.height) / 2, s.width, s.height);
        right->drawInRect(cr, rightRect);
    }

    if (borderWidth_ > 0 && borderColour) {
        // Still clipped to the outline: only the inner half of the line shows.
        roundedRectPath(cr, b, cornerRadius_);
        cairo_set_line_width(cr, borderWidth_);
        setSource(cr, *borderColour);
        cairo_stroke(cr);
    }

    CGRect area = CGRectMake(inset, inset, b.size.width - 2 * inset, b.size.height - 2 * inset);
    // The text ends at the right image's left edge and starts at the left
    // image's right edge, so it never runs over either image.
    if (right) area.size.width = rightRect.origin.x - area.origin.x;
    if (left) {
        const double leftEdge = leftRect.origin.x + leftRect.size.width;
        area.size.width -= leftEdge - area.origin.x;
        area.origin.x = leftEdge;
    }
    titleLabel_->setTextColor(textColour.value_or(blackColor()));
    titleLabel_->setShadowColor(shadowColour);
    if (attributed)
        titleLabel_->setAttributedText(attributed);
    else
        titleLabel_->setText(text.value_or(""));
    if (area.size.width > 0 && area.size.height > 0) titleLabel_->drawTextInRect(cr, area);
    cairo_restore(cr);
}
