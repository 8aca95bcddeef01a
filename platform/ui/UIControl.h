// A control: a view with state bits and target-action. It follows one touch
// from began to ended, highlighted while the touch is inside its bounds,
// and tells its subclass through the tracking methods.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ui/UIView.h"

namespace KelpaPlatform {

using UIControlState = uint32_t;
constexpr UIControlState UIControlStateNormal = 0;
constexpr UIControlState UIControlStateHighlighted = 1 << 0;
constexpr UIControlState UIControlStateDisabled = 1 << 1;
constexpr UIControlState UIControlStateSelected = 1 << 2;

using UIControlEvents = uint32_t;
constexpr UIControlEvents UIControlEventTouchDown = 1 << 0;
constexpr UIControlEvents UIControlEventTouchDragInside = 1 << 2;
constexpr UIControlEvents UIControlEventTouchDragOutside = 1 << 3;
constexpr UIControlEvents UIControlEventTouchDragEnter = 1 << 4;
constexpr UIControlEvents UIControlEventTouchDragExit = 1 << 5;
constexpr UIControlEvents UIControlEventTouchUpInside = 1 << 6;
constexpr UIControlEvents UIControlEventTouchUpOutside = 1 << 7;
constexpr UIControlEvents UIControlEventTouchCancel = 1 << 8;
constexpr UIControlEvents UIControlEventValueChanged = 1 << 12;
constexpr UIControlEvents UIControlEventAllTouchEvents = 0x0fff;

class UIControl : public UIView {
public:
    // The sender is the control.
    using Action = std::function<void(UIControl* sender)>;

    explicit UIControl(const CGRect& frame = CGRect());

    UIControlState state() const { return state_; }
    bool isEnabled() const { return !(state_ & UIControlStateDisabled); }
    virtual void setEnabled(bool enabled);
    bool isHighlighted() const { return state_ & UIControlStateHighlighted; }
    virtual void setHighlighted(bool highlighted);
    bool isSelected() const { return state_ & UIControlStateSelected; }
    virtual void setSelected(bool selected);
    // While a touch that began on the control lasts.
    bool isTracking() const { return tracking_; }
    bool isTouchInside() const { return touchInside_; }

    // Returns a token for removeTarget; actions run in the order added.
    int addTarget(Action action, UIControlEvents events);
    void removeTarget(int token);
    void sendActionsForControlEvents(UIControlEvents events);

    // Return false to stop hearing of the touch's moves.
    virtual bool beginTracking(const UITouch& touch);
    virtual bool continueTracking(const UITouch& touch);
    virtual void endTracking(const UITouch& touch);
    virtual void cancelTracking(const UITouch& touch);

    void touchesBegan(const UITouchSet& touches) override;
    void touchesMoved(const UITouchSet& touches) override;
    void touchesEnded(const UITouchSet& touches) override;
    void touchesCancelled(const UITouchSet& touches) override;

private:
    struct Target {
        int token;
        UIControlEvents events;
        Action action;
    };
    // The touch this control follows in the set, or null.
    const UITouch* trackedTouch(const UITouchSet& touches) const;
    bool insideBounds(const UITouch& touch) const;

    UIControlState state_ = UIControlStateNormal;
    std::vector<Target> targets_;
    int nextToken_ = 1;
    bool tracking_ = false;      // a touch is being followed
    bool wantsMoves_ = false;    // what the tracking methods last answered
    bool touchInside_ = false;
    int64_t touchId_ = 0;
};

}  // namespace KelpaPlatform
