#include "adkasa_sdk_ios/AdkasaPopupToolbar.h"

#include <cairo.h>

using KelpaPlatform::CGRect;
using KelpaPlatform::UIColor;

AdkasaPopupToolbar::AdkasaPopupToolbar(const CGRect& frame) : UIView(frame) {}

UIColor AdkasaPopupToolbar::defaultStartColor() { return UIColor{107 / 255.0, 222 / 255.0, 31 / 255.0, 1}; }
UIColor AdkasaPopupToolbar::defaultEndColor() { return UIColor{49 / 255.0, 172 / 255.0, 0, 1}; }

void AdkasaPopupToolbar::setStartColor(const std::optional<UIColor>& colour) {
    startColor_ = colour;
    setNeedsDisplay();
}

void AdkasaPopupToolbar::setEndColor(const std::optional<UIColor>& colour) {
    endColor_ = colour;
    setNeedsDisplay();
}

void AdkasaPopupToolbar::drawRect(cairo_t* cr) {
    const UIColor top = startColor_.value_or(defaultStartColor());
    const UIColor bottom = endColor_.value_or(defaultEndColor());
    const CGRect r = bounds();
    cairo_pattern_t* g = cairo_pattern_create_linear(r.origin.x, r.origin.y, r.origin.x, r.origin.y + r.size.height);
    cairo_pattern_add_color_stop_rgba(g, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(g, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    // Past its end the end colour goes on (the paint is clipped to the bounds).
    cairo_pattern_set_extend(g, CAIRO_EXTEND_PAD);
    cairo_save(cr);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_pattern_destroy(g);
}
