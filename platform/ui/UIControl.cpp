#include "platform/ui/UIControl.h"

namespace KelpaPlatform {

UIControl::UIControl(const CGRect& frame) : UIView(frame) {}

void UIControl::setEnabled(bool enabled) {
    const UIControlState s = enabled ? state_ & ~UIControlStateDisabled : state_ | UIControlStateDisabled;
    if (s != state_) {
        state_ = s;
        setNeedsDisplay();
    }
}

void UIControl::setHighlighted(bool highlighted) {
    const UIControlState s = highlighted ? state_ | UIControlStateHighlighted : state_ & ~UIControlStateHighlighted;
    if (s != state_) {
        state_ = s;
        setNeedsDisplay();
    }
}

void UIControl::setSelected(bool selected) {
    const UIControlState s = selected ? state_ | UIControlStateSelected : state_ & ~UIControlStateSelected;
    if (s != state_) {
        state_ = s;
        setNeedsDisplay();
    }
}

int UIControl::addTarget(Action action, UIControlEvents events) {
    const int token = nextToken_++;
    targets_.push_back(Target{token, events, std::move(action)});
    return token;
}

void UIControl::removeTarget(int token) {
    std::erase_if(targets_, [token](const Target& t) { return t.token == token; });
}

void UIControl::sendActionsForControlEvents(UIControlEvents events) {
    // An action may remove targets or the control itself.
    std::shared_ptr<UIView> keep = weak_from_this().lock();
    std::vector<Target> targets = targets_;
    for (const Target& t : targets) {
        if ((t.events & events) && t.action) t.action(this);
    }
}

bool UIControl::beginTracking(const UITouch&) { return true; }
bool UIControl::continueTracking(const UITouch&) { return true; }
void UIControl::endTracking(const UITouch&) {}
void UIControl::cancelTracking(const UITouch&) {}

const UITouch* UIControl::trackedTouch(const UITouchSet& touches) const {
    if (!tracking_) return nullptr;
    for (const UITouch& t : touches)
        if (t.identifier == touchId_) return &t;
    return nullptr;
}

bool UIControl::insideBounds(const UITouch& touch) const { return bounds().contains(touch.locationInView(this)); }

void UIControl::touchesBegan(const UITouchSet& touches) {
    // A disabled control takes no touches, and it follows one at a time:
    // the others go on up the chain.
    if (!isEnabled() || tracking_ || touches.empty()) return UIView::touchesBegan(touches);
    std::shared_ptr<UIView> keep = weak_from_this().lock();
    const UITouch& touch = touches.front();
    tracking_ = true;
    touchId_ = touch.identifier;
    touchInside_ = true;
    setHighlighted(true);
    wantsMoves_ = beginTracking(touch);
    sendActionsForControlEvents(UIControlEventTouchDown);
}

void UIControl::touchesMoved(const UITouchSet& touches) {
    const UITouch* touch = trackedTouch(touches);
    if (!touch) return UIView::touchesMoved(touches);
    std::shared_ptr<UIView> keep = weak_from_this().lock();
    const UITouch moved = *touch;
    const bool wasInside = touchInside_;
    touchInside_ = insideBounds(moved);
    setHighlighted(touchInside_);
    if (wantsMoves_) wantsMoves_ = continueTracking(moved);
    UIControlEvents events = touchInside_ ? UIControlEventTouchDragInside : UIControlEventTouchDragOutside;
    if (touchInside_ != wasInside) events |= touchInside_ ? UIControlEventTouchDragEnter : UIControlEventTouchDragExit;
    sendActionsForControlEvents(events);
}

void UIControl::touchesEnded(const UITouchSet& touches) {
    const UITouch* touch = trackedTouch(touches);
    if (!touch) return UIView::touchesEnded(touches);
    std::shared_ptr<UIView> keep = weak_from_this().lock();
    const UITouch ended = *touch;
    touchInside_ = insideBounds(ended);
    tracking_ = false;
    setHighlighted(false);
    endTracking(ended);
    sendActionsForControlEvents(touchInside_ ? UIControlEventTouchUpInside : UIControlEventTouchUpOutside);
    touchInside_ = false;
}

void UIControl::touchesCancelled(const UITouchSet& touches) {
    const UITouch* touch = trackedTouch(touches);
    if (!touch) return UIView::touchesCancelled(touches);
    std::shared_ptr<UIView> keep = weak_from_this().lock();
    const UITouch cancelled = *touch;
    tracking_ = false;
    touchInside_ = false;
    setHighlighted(false);
    cancelTracking(cancelled);
    sendActionsForControlEvents(UIControlEventTouchCancel);
}

}  // namespace KelpaPlatform
