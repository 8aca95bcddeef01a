// The title bar of the interstitial's framed layout: a vertical two-colour
// gradient, green unless the host sets its own colours.
#pragma once

#include <optional>

#include "platform/ui/UIView.h"

class AdkasaPopupToolbar : public KelpaPlatform::UIView {
public:
    explicit AdkasaPopupToolbar(const KelpaPlatform::CGRect& frame = KelpaPlatform::CGRect());

    // Unset: the default (107, 222, 31 at the top, 49, 172, 0 at the bottom).
    const std::optional<KelpaPlatform::UIColor>& startColor() const { return startColor_; }
    void setStartColor(const std::optional<KelpaPlatform::UIColor>& colour);
    const std::optional<KelpaPlatform::UIColor>& endColor() const { return endColor_; }
    void setEndColor(const std::optional<KelpaPlatform::UIColor>& colour);

    static KelpaPlatform::UIColor defaultStartColor();
    static KelpaPlatform::UIColor defaultEndColor();

    void drawRect(cairo_t* cr) override;

private:
    std::optional<KelpaPlatform::UIColor> startColor_;
    std::optional<KelpaPlatform::UIColor> endColor_;
};
