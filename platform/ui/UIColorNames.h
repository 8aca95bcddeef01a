// The phone's named colours and the small colour helpers that go with them.
// UIColor itself is a plain value (UIView.h); "no colour" is std::nullopt.
#pragma once

#include "platform/ui/UIView.h"

namespace KelpaPlatform {

inline UIColor colorWithRGBA(double r, double g, double b, double a) { return UIColor{r, g, b, a}; }
inline UIColor colorWithWhite(double white, double alpha) { return UIColor{white, white, white, alpha}; }
// colorWithAlphaComponent
inline UIColor colorWithAlpha(const UIColor& c, double alpha) { return UIColor{c.r, c.g, c.b, alpha}; }

inline UIColor whiteColor() { return colorWithWhite(1, 1); }
inline UIColor blackColor() { return colorWithWhite(0, 1); }
inline UIColor clearColor() { return colorWithWhite(0, 0); }
inline UIColor darkGrayColor() { return colorWithWhite(1.0 / 3.0, 1); }
inline UIColor lightGrayColor() { return colorWithWhite(2.0 / 3.0, 1); }
inline UIColor grayColor() { return colorWithWhite(0.5, 1); }

inline bool colorsEqual(const UIColor& a, const UIColor& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}
inline bool colorsEqual(const std::optional<UIColor>& a, const std::optional<UIColor>& b) {
    if (!a || !b) return !a && !b;
    return colorsEqual(*a, *b);
}

}  // namespace KelpaPlatform
