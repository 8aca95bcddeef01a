// The banner view and its delegate, as the host uses them: made with a
// frame, given a delegate, a placement identifier and a transition time,
// added to the host view, then started (startShowAd) and stopped
// (stopUpdating, then removeFromSuperview) as the game wants it.
//
// This is the interface only: until the ad client itself is here, a banner
// loads and shows nothing, takes no touches and calls no delegate method.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/UIView.h"

class AdkasaView;

// Every method is optional: the defaults do nothing.
class AdkasaViewDelegate {
public:
    virtual ~AdkasaViewDelegate() = default;
    virtual void adkasaViewDidFinishLoad(AdkasaView* view) { (void)view; }
    virtual void adkasaViewAdTapped(AdkasaView* view) { (void)view; }
    virtual void adkasaViewAdFailed(AdkasaView* view) { (void)view; }
};

// What both ad views share: the placement identifier.
class AdkasaBaseView : public KelpaPlatform::UIView {
public:
    explicit AdkasaBaseView(const KelpaPlatform::CGRect& frame);
    ~AdkasaBaseView() override;

    virtual void setAppID(const std::string& appID);
    void setAppId(const std::string& appID) { setAppID(appID); }
    const std::string& appID() const { return appID_; }
    const std::string& getAppId() const { return appID(); }

    // Unique among the views of this run: names this view's notifications.
    uint64_t notificationToken() const { return notificationToken_; }

private:
    std::string appID_;
    uint64_t notificationToken_;
};

class AdkasaView : public AdkasaBaseView {
public:
    // initWithFrame:
    explicit AdkasaView(const KelpaPlatform::CGRect& frame);
    ~AdkasaView() override;

    // Not retained.
    virtual void setDelegate(AdkasaViewDelegate* delegate);
    AdkasaViewDelegate* delegate() const { return delegate_; }

    virtual void setTransitionDulation(float seconds);
    float transitionDulation() const { return transitionDulation_; }

    // Starts (or resumes) showing ads; the view is in its superview.
    virtual void startShowAd();
    // Stops the rotation; a fetch answered later does not restart it.
    virtual void stopUpdating();
    void removeFromSuperview() override;

private:
    AdkasaViewDelegate* delegate_ = nullptr;
    float transitionDulation_ = 0.5f;
};
