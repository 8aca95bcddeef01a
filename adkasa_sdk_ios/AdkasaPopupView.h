// The interstitial view and its delegate, as the host uses them: made once,
// given a delegate, a placement identifier, a show schedule and a display
// count, then, while the game wants an interstitial, added to the host view
// and sent preloadShowAd on every frame; after a close or a failure the
// host has the next ad preloaded (preloadAd).
//
// This is the interface only: until the ad client itself is here, the view
// loads and shows nothing, takes no touches and calls no delegate method.
#pragma once

#include <cstdint>

#include "adkasa_sdk_ios/AdkasaView.h"

class AdkasaPopupView;

// Close types: why the last request ended.
constexpr int32_t kAdkasaCloseByUser = 100;
constexpr int32_t kAdkasaCloseSkipped = 101;
constexpr int32_t kAdkasaCloseLimit = 102;
constexpr int32_t kAdkasaCloseNoNetwork = 103;
constexpr int32_t kAdkasaCloseNoConfiguration = 104;

// Every method is optional: the defaults do nothing.
class AdkasaPopupViewDelegate {
public:
    virtual ~AdkasaPopupViewDelegate() = default;
    virtual void adkasaViewDidFinishLoadAdData(AdkasaPopupView* view) { (void)view; }
    virtual void adkasaViewDidFinishLoad(AdkasaPopupView* view) { (void)view; }
    virtual void adkasaViewAdTapped(AdkasaPopupView* view) { (void)view; }
    virtual void adkasaViewAdFailed(AdkasaPopupView* view) { (void)view; }
    virtual void adkasaViewAdClose(AdkasaPopupView* view) { (void)view; }
};

class AdkasaPopupView : public AdkasaBaseView {
public:
    // init
    AdkasaPopupView();
    ~AdkasaPopupView() override;

    // Not retained.
    virtual void setDelegate(AdkasaPopupViewDelegate* delegate);
    AdkasaPopupViewDelegate* delegate() const { return delegate_; }

    virtual void setSchedule(int32_t every);
    int32_t getSchedule() const { return schedule_; }
    virtual void setScheduleFirst(int32_t first);
    int32_t getScheduleFirst() const { return scheduleFirst_; }
    virtual void setDisplayCount(int32_t count);
    virtual int32_t getDisplayCount() const { return displayCount_; }

    virtual void startShowAd();
    virtual void preloadAd();
    virtual void preloadShowAd();
    // Why the last request ended (0 before any).
    virtual int32_t closeType() const { return closeType_; }

protected:
    int32_t closeType_ = 0;

private:
    AdkasaPopupViewDelegate* delegate_ = nullptr;
    int32_t schedule_ = 1;
    int32_t scheduleFirst_ = 1;
    int32_t displayCount_ = 0;
};
