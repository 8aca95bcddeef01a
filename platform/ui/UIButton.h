// A push button of the custom type: per-state images, titles and title
// colours, falling back to the normal state's. The image is drawn at its
// own size, centred (scaled down, keeping its shape, when the button is
// smaller), the title beside it; both centred together in the bounds.
// Highlighted, an image that has no highlighted image of its own is drawn
// darkened; disabled, image and title are drawn at half alpha.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/UIControl.h"
#include "platform/ui/UIImage.h"
#include "platform/ui/UILabel.h"

namespace KelpaPlatform {

enum class UIButtonType { Custom = 0 };

class UIButton : public UIControl {
public:
    explicit UIButton(const CGRect& frame = CGRect());
    static std::shared_ptr<UIButton> buttonWithType(UIButtonType type);

    void setImage(std::shared_ptr<UIImage> image, UIControlState state);
    std::shared_ptr<UIImage> imageForState(UIControlState state) const;
    void setTitle(const std::optional<std::string>& title, UIControlState state);
    std::optional<std::string> titleForState(UIControlState state) const;
    void setTitleColor(const std::optional<UIColor>& colour, UIControlState state);
    UIColor titleColorForState(UIControlState state) const;

    std::shared_ptr<UIImage> currentImage() const { return imageForState(state()); }
    std::optional<std::string> currentTitle() const { return titleForState(state()); }
    UIColor currentTitleColor() const { return titleColorForState(state()); }

    // Its font is the title's; it is never a subview.
    UILabel* titleLabel() const { return titleLabel_.get(); }

    bool adjustsImageWhenHighlighted() const { return adjustHighlighted_; }
    void setAdjustsImageWhenHighlighted(bool on);
    bool adjustsImageWhenDisabled() const { return adjustDisabled_; }
    void setAdjustsImageWhenDisabled(bool on);

    void drawRect(cairo_t* cr) override;

private:
    template <class T>
    static const T* forState(const std::map<UIControlState, T>& values, UIControlState state);

    std::map<UIControlState, std::shared_ptr<UIImage>> images_;
    std::map<UIControlState, std::string> titles_;
    std::map<UIControlState, UIColor> titleColors_;
    std::shared_ptr<UILabel> titleLabel_;
    bool adjustHighlighted_ = true;
    bool adjustDisabled_ = true;
};

}  // namespace KelpaPlatform
