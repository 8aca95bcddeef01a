#include "platform/ui/UIImageView.h"

namespace KelpaPlatform {

UIImageView::UIImageView(std::shared_ptr<UIImage> image)
    : UIView(image ? CGRect{CGPoint{}, image->size()} : CGRect()), image_(std::move(image)) {
    setUserInteractionEnabled(false);
}

void UIImageView::setImage(std::shared_ptr<UIImage> image) {
    image_ = std::move(image);
    setNeedsDisplay();
}

void UIImageView::drawRect(cairo_t* cr) {
    UIView::drawRect(cr);
    if (image_) image_->drawInRect(cr, bounds());
}

}  // namespace KelpaPlatform
