// A push button that draws everything itself: a rounded rectangle filled
// with a three-stop gradient made from its tint colour (or the flat tint),
// an optional gloss over the top half, an optional border, left and right
// accessory images and a centred text, each with values for the normal,
// the highlighted-or-selected and the disabled state; three colour styles.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/NSAttributedString.h"
#include "platform/ui/UIAccessibility.h"
#include "platform/ui/UIControl.h"
#include "platform/ui/UIImage.h"
#include "platform/ui/UILabel.h"

typedef struct _cairo_pattern cairo_pattern_t;

class ADKSGradientButton : public KelpaPlatform::UIControl {
public:
    using Colour = std::optional<KelpaPlatform::UIColor>;
    using Text = std::optional<std::string>;
    using AttributedText = std::optional<KelpaPlatform::NSAttributedString>;
    using Image = std::shared_ptr<KelpaPlatform::UIImage>;
    using CGRect = KelpaPlatform::CGRect;
    using UIControlState = KelpaPlatform::UIControlState;

    // initWithFrame:style:cornerRadius:borderWidth:andText:
    ADKSGradientButton(const CGRect& frame, uint64_t style, double cornerRadius, double borderWidth, const Text& text);
    // initWithFrame:cornerRadius:borderWidth:andText: (style 1)
    ADKSGradientButton(const CGRect& frame, double cornerRadius, double borderWidth, const Text& text);
    // initWithFrame:style: (corner radius 10, border width 2, no text)
    ADKSGradientButton(const CGRect& frame, uint64_t style);
    // initWithFrame: (style 1)
    explicit ADKSGradientButton(const CGRect& frame = CGRect());
    ~ADKSGradientButton() override;

    uint64_t style() const { return style_; }
    // A different style re-applies the style's colours.
    void setStyle(uint64_t style);
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double r) { cornerRadius_ = r; }
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double w) { borderWidth_ = w; }

    // Each per-state setter redraws only when what the current state shows changes.
    const Colour& tintColor() const { return tint_; }
    void setTintColor(const Colour& c);
    const Colour& highlightedTintColor() const { return highlightedTint_; }
    void setHighlightedTintColor(const Colour& c);
    const Colour& borderColor() const { return border_; }
    void setBorderColor(const Colour& c);
    const Colour& highlightedBorderColor() const { return highlightedBorder_; }
    void setHighlightedBorderColor(const Colour& c);
    const Colour& textColor() const { return textColour_; }
    void setTextColor(const Colour& c);
    const Colour& highlightedTextColor() const { return highlightedTextColour_; }
    void setHighlightedTextColor(const Colour& c);
    const Colour& textShadowColor() const { return shadow_; }
    void setTextShadowColor(const Colour& c);
    const Colour& highlightedTextShadowColor() const { return highlightedShadow_; }
    void setHighlightedTextShadowColor(const Colour& c);

    const Text& text() const { return text_; }
    void setText(const Text& t);
    const Text& highlightedText() const { return highlightedText_; }
    void setHighlightedText(const Text& t);
    const Text& disabledText() const { return disabledText_; }
    void setDisabledText(const Text& t);
    const AttributedText& attributedText() const { return attributed_; }
    void setAttributedText(const AttributedText& t);
    const AttributedText& highlightedAttributedText() const { return highlightedAttributed_; }
    void setHighlightedAttributedText(const AttributedText& t);
    const AttributedText& disabledAttributedText() const { return disabledAttributed_; }
    void setDisabledAttributedText(const AttributedText& t);

    const Image& rightAccessoryImage() const { return right_; }
    void setRightAccessoryImage(const Image& i);
    const Image& rightHighlightedAccessoryImage() const { return highlightedRight_; }
    void setRightHighlightedAccessoryImage(const Image& i);
    const Image& leftAccessoryImage() const { return left_; }
    void setLeftAccessoryImage(const Image& i);
    const Image& leftHighlightedAccessoryImage() const { return highlightedLeft_; }
    void setLeftHighlightedAccessoryImage(const Image& i);

    // Lays out and draws the text; never a subview.
    KelpaPlatform::UILabel* titleLabel() const { return titleLabel_.get(); }

    int64_t isGradientEnabled() const { return gradientEnabled_; }
    void setGradientEnabled(int64_t on);
    int64_t isGlossy() const { return glossy_; }
    void setGlossy(int64_t on);
    const Colour& glossyStartColor() const { return glossyStart_; }
    void setGlossyStartColor(const Colour& c) { glossyStart_ = c; }
    const Colour& glossyEndColor() const { return glossyEnd_; }
    void setGlossyEndColor(const Colour& c) { glossyEnd_ = c; }

    // State 0 sets the normal value; a state with the highlighted or the
    // selected bit the highlighted one; for texts the disabled bit also
    // sets the disabled one.
    void setTintColor(const Colour& c, UIControlState state);
    void setBorderColor(const Colour& c, UIControlState state);
    void setTextColor(const Colour& c, UIControlState state);
    void setTextShadowColor(const Colour& c, UIControlState state);
    void setRightAccessoryImage(const Image& i, UIControlState state);
    void setLeftAccessoryImage(const Image& i, UIControlState state);
    void setText(const Text& t, UIControlState state);
    void setAttributedText(const AttributedText& t, UIControlState state);

    bool isHighlightedOrSelected() const;
    // Highlighted-or-selected without a highlighted tint: the normal tint.
    Colour tintColorAccordingToCurrentState() const;
    Colour borderColorAccordingToCurrentState() const;
    Colour textColorAccordingToCurrentState() const;
    Colour textShadowColorAccordingToCurrentState() const;
    Image rightAccessoryImageAccordingToCurrentState() const;
    Image leftAccessoryImageAccordingToCurrentState() const;
    Text textAccordingToCurrentState() const;
    AttributedText attributedTextAccordingToCurrentState() const;

    // The fill: light, tint and dark stops at 0, 0.5 and 1 on a linear
    // gradient from `from` to `to`, not extended; the caller destroys it.
    cairo_pattern_t* newGradientAccordingToCurrentState(const KelpaPlatform::CGPoint& from,
                                                        const KelpaPlatform::CGPoint& to) const;

    // Sets this style's colours through the setters; other styles change nothing.
    void updateAccordingToStyle();

    bool beginTracking(const KelpaPlatform::UITouch& touch) override;
    bool continueTracking(const KelpaPlatform::UITouch& touch) override;
    void endTracking(const KelpaPlatform::UITouch& touch) override;
    void cancelTracking(const KelpaPlatform::UITouch& touch) override;

    bool isAccessibilityElement() const { return true; }
    Text accessibilityLabel() const { return textAccordingToCurrentState(); }
    Text accessibilityHint() const { return textAccordingToCurrentState(); }
    KelpaPlatform::UIAccessibilityTraits accessibilityTraits() const;

    void drawRect(cairo_t* cr) override;

    // How many times the button has asked to be redrawn.
    uint64_t redrawCount() const { return redraws_; }

private:
    void performDefaultInit();
    void applyStyleOneColours();
    void redraw();
    // Stores `value` in `field` when it differs and redraws when the
    // current state's value (read by `shown`) changed with it.
    template <class T, class Shown>
    void change(T& field, const T& value, Shown shown);

    uint64_t style_ = 1;
    double cornerRadius_ = 10.0;
    double borderWidth_ = 2.0;
    Colour tint_, highlightedTint_, border_, highlightedBorder_;
    Colour textColour_, highlightedTextColour_, shadow_, highlightedShadow_;
    Text text_, highlightedText_, disabledText_;
    AttributedText attributed_, highlightedAttributed_, disabledAttributed_;
    std::shared_ptr<KelpaPlatform::UILabel> titleLabel_;
    int64_t gradientEnabled_ = 1;
    int64_t glossy_ = 0;
    Image right_, highlightedRight_, left_, highlightedLeft_;
    Colour glossyStart_, glossyEnd_;
    uint64_t redraws_ = 0;
};
