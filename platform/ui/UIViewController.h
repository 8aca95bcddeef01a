// A view controller: owns its view, made on first request (loadView, then
// viewDidLoad), and is the view's next responder.
#pragma once

#include <memory>

#include "platform/ui/UIView.h"

namespace KelpaPlatform {

class UIViewController : public UIResponder {
public:
    UIViewController() = default;
    ~UIViewController() override;
    UIViewController(const UIViewController&) = delete;
    UIViewController& operator=(const UIViewController&) = delete;

    // The view; loads it on the first call.
    const std::shared_ptr<UIView>& view();
    bool isViewLoaded() const { return view_ != nullptr; }

    // Makes the view; the default is a plain view of the main screen's bounds.
    virtual std::shared_ptr<UIView> loadView();
    virtual void viewDidLoad() {}
    // After the view is on screen (again, after a sheet over it is gone).
    virtual void viewDidAppear(bool animated) { (void)animated; }
    virtual void didReceiveMemoryWarning() {}

    UIResponder* nextResponder() const override;

private:
    std::shared_ptr<UIView> view_;
};

}  // namespace KelpaPlatform
