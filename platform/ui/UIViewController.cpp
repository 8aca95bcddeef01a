#include "platform/ui/UIViewController.h"

#include "platform/ui/UIApplication.h"

namespace KelpaPlatform {

UIViewController::~UIViewController() {
    if (view_) view_->setViewController(nullptr);
}

const std::shared_ptr<UIView>& UIViewController::view() {
    if (!view_) {
        view_ = loadView();
        if (!view_) view_ = std::make_shared<UIView>(UIScreen::mainScreen().bounds());
        view_->setViewController(this);
        viewDidLoad();
    }
    return view_;
}

std::shared_ptr<UIView> UIViewController::loadView() {
    return std::make_shared<UIView>(UIScreen::mainScreen().bounds());
}

UIResponder* UIViewController::nextResponder() const { return view_ ? view_->superview() : nullptr; }

}  // namespace KelpaPlatform
