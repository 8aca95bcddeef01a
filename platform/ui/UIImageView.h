// A view that shows an image scaled into its bounds. Like the phone's, it
// takes no touches unless told to, so they go to the view beneath.
#pragma once

#include <memory>

#include "platform/ui/UIImage.h"
#include "platform/ui/UIView.h"

namespace KelpaPlatform {

class UIImageView : public UIView {
public:
    // The frame is the image's size at the origin.
    explicit UIImageView(std::shared_ptr<UIImage> image);

    const std::shared_ptr<UIImage>& image() const { return image_; }
    void setImage(std::shared_ptr<UIImage> image);

    void drawRect(cairo_t* cr) override;

private:
    std::shared_ptr<UIImage> image_;
};

}  // namespace KelpaPlatform
