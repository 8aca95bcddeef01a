#include "platform/ui/UIButton.h"

#include <cairo.h>

#include <algorithm>

#include "platform/ui/UIColorNames.h"

namespace KelpaPlatform {

namespace {
constexpr double kDisabledAlpha = 0.5;
constexpr double kHighlightShade = 1.0 / 3.0;  // black over the image's own pixels
}  // namespace

UIButton::UIButton(const CGRect& frame) : UIControl(frame), titleLabel_(std::make_shared<UILabel>()) {
    titleLabel_->setFont(UIFont::boldSystemFontOfSize(15));
    titleLabel_->setLineBreakMode(NSLineBreakMode::ByTruncatingMiddle);
    titleLabel_->setTextAlignment(NSTextAlignment::Center);
    titleLabel_->setShadowColor(std::nullopt);
}

std::shared_ptr<UIButton> UIButton::buttonWithType(UIButtonType) { return std::make_shared<UIButton>(); }

template <class T>
const T* UIButton::forState(const std::map<UIControlState, T>& values, UIControlState state) {
    auto it = values.find(state);
    if (it == values.end()) it = values.find(UIControlStateNormal);
    return it == values.end() ? nullptr : &it->second;
}

void UIButton::setImage(std::shared_ptr<UIImage> image, UIControlState state) {
    if (image) images_[state] = std::move(image); else images_.erase(state);
    setNeedsDisplay();
}

std::shared_ptr<UIImage> UIButton::imageForState(UIControlState state) const {
    const auto* v = forState(images_, state);
    return v ? *v : nullptr;
}

void UIButton::setTitle(const std::optional<std::string>& title, UIControlState state) {
    if (title) titles_[state] = *title; else titles_.erase(state);
    setNeedsDisplay();
}

std::optional<std::string> UIButton::titleForState(UIControlState state) const {
    const auto* v = forState(titles_, state);
    return v ? std::optional<std::string>(*v) : std::nullopt;
}

void UIButton::setTitleColor(const std::optional<UIColor>& colour, UIControlState state) {
    if (colour) titleColors_[state] = *colour; else titleColors_.erase(state);
    setNeedsDisplay();
}

UIColor UIButton::titleColorForState(UIControlState state) const {
    const auto* v = forState(titleColors_, state);
    return v ? *v : whiteColor();
}

void UIButton::setAdjustsImageWhenHighlighted(bool on) {
    adjustHighlighted_ = on;
    setNeedsDisplay();
}

void UIButton::setAdjustsImageWhenDisabled(bool on) {
    adjustDisabled_ = on;
    setNeedsDisplay();
}

void UIButton::drawRect(cairo_t* cr) {
    UIView::drawRect(cr);
    const CGRect b = bounds();
    const UIControlState s = state();
    const std::shared_ptr<UIImage> image = imageForState(s);
    const std::string title = titleForState(s).value_or("");

    CGSize imageSize;
    if (image) {
        const CGSize natural = image->size();
        const double f = std::min({1.0, b.size.width / natural.width, b.size.height / natural.height});
        imageSize = CGSize{natural.width * f, natural.height * f};
    }
    CGSize titleSize;
    if (!title.empty()) {
        titleSize = UILabel::sizeOfText(title, titleLabel_->font());
        titleSize.width = std::min(titleSize.width, std::max(0.0, b.size.width - imageSize.width));
    }
    const double x0 = (b.size.width - imageSize.width - titleSize.width) / 2;
    const double alpha = (s & UIControlStateDisabled) && adjustDisabled_ ? kDisabledAlpha : 1.0;

    if (image) {
        const CGRect r = CGRectMake(x0, (b.size.height - imageSize.height) / 2, imageSize.width, imageSize.height);
        const bool shade = (s & UIControlStateHighlighted) && adjustHighlighted_ && !images_.count(s);
        if (shade) {
            cairo_push_group(cr);
            image->drawInRect(cr, r);
            cairo_set_operator(cr, CAIRO_OPERATOR_ATOP);
            cairo_set_source_rgba(cr, 0, 0, 0, kHighlightShade);
            cairo_paint(cr);
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, alpha);
        } else {
            image->drawInRect(cr, r, alpha);
        }
    }
    if (!title.empty()) {
        UIColor colour = titleColorForState(s);
        if ((s & UIControlStateDisabled) && !titleColors_.count(s)) colour.a *= kDisabledAlpha;
        titleLabel_->setText(title);
        titleLabel_->setTextColor(colour);
        titleLabel_->drawTextInRect(cr, CGRectMake(x0 + imageSize.width, 0, titleSize.width, b.size.height));
    }
}

}  // namespace KelpaPlatform
