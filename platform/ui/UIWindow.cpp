#include "platform/ui/UIWindow.h"

#include "platform/ns/MainQueue.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIViewController.h"

namespace KelpaPlatform {

UIWindow::UIWindow(const CGRect& frame) : UIView(frame) {}

UIWindow::~UIWindow() {
    UIApplication* app = UIApplication::shared();
    if (app && app->keyWindow() == this) app->setKeyWindow(nullptr);
    closeSurface();
}

void UIWindow::setRootViewController(const std::shared_ptr<UIViewController>& controller) {
    root_ = controller;
}

void UIWindow::makeKeyAndVisible() {
    if (root_ && root_->view()->superview() != this) addSubview(root_->view());
    if (!surface_) {
        if (UIApplication* app = UIApplication::shared()) surface_ = app->makeWindowSurface(this);
    }
    visible_ = true;
    if (UIApplication* app = UIApplication::shared()) app->setKeyWindow(this);
    if (surface_) surface_->show();
    // The controller hears of the appearance from the main loop, as after a
    // real screen update. It holds a reference to itself for the wait.
    std::weak_ptr<UIViewController> weak = root_;
    dispatchAsyncMain([weak]() {
        if (auto c = weak.lock()) c->viewDidAppear(false);
    });
}

void UIWindow::closeSurface() { surface_.reset(); }

void UIWindow::sendTouches(UITouchPhase phase, const UITouchSet& touches) {
    if (touches.empty()) return;
    UITouchSet set = touches;
    for (auto& t : set) t.phase = phase;
    const UITouch& first = set.front();
    std::shared_ptr<UIView> target;
    if (phase == UITouchPhase::Began) {
        UIView* hit = hitTest(first.windowLocation);
        if (hit) target = hit->shared_from_this();
        for (auto& t : set) touchViews_[t.identifier] = target;
    } else {
        auto it = touchViews_.find(first.identifier);
        if (it != touchViews_.end()) target = it->second.lock();
        if (!target) {
            UIView* hit = hitTest(first.windowLocation);
            if (hit) target = hit->shared_from_this();
        }
        if (phase == UITouchPhase::Ended || phase == UITouchPhase::Cancelled) {
            for (auto& t : set) touchViews_.erase(t.identifier);
        }
    }
    if (!target) return;
    switch (phase) {
    case UITouchPhase::Began: target->touchesBegan(set); break;
    case UITouchPhase::Moved: target->touchesMoved(set); break;
    case UITouchPhase::Ended: target->touchesEnded(set); break;
    case UITouchPhase::Cancelled: target->touchesCancelled(set); break;
    case UITouchPhase::Stationary: break;
    }
}

void UIWindow::surfaceNeedsDisplay() {
    if (surface_) surface_->setNeedsDisplay();
}

}  // namespace KelpaPlatform
