// What both ad views share (the banner, AdkasaView, and the interstitial,
// AdkasaPopupView): the placement identifier, the name of the view's
// notifications, and what their ad web views and configuration client ask
// of them. Those sit below the views and know them only by this class.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/UIView.h"

class AdkasaManager;

class AdkasaBaseView : public KelpaPlatform::UIView {
public:
    explicit AdkasaBaseView(const KelpaPlatform::CGRect& frame);
    ~AdkasaBaseView() override;

    virtual void setAppID(const std::string& appID);
    void setAppId(const std::string& appID) { setAppID(appID); }
    const std::string& appID() const { return appID_; }
    const std::string& getAppId() const { return appID(); }

    // The view's configuration client (null when it has none).
    virtual AdkasaManager* getManager() { return nullptr; }
    // One of the view's ads was tapped: its delegate hears of it.
    virtual void slotAdTapped() {}
    // From the view's web view: a page load finished, or the ad could not
    // load. Only the interstitial listens.
    virtual void loadFinish() {}
    virtual void loadFailed() {}

    // Unique among the views of this run: names this view's notifications.
    uint64_t notificationToken() const { return notificationToken_; }

private:
    std::string appID_;
    uint64_t notificationToken_;
};
