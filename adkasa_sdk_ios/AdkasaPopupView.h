// The interstitial: a transparent view the host lays over its own whenever
// the game asks for a pop-up ad. A persistent show schedule decides whether
// a request shows an ad at all; if it does, a dim layer covers the screen
// and a loading box shows while the configuration is fetched and the
// chosen ad loads, then the ad fades in inside a frame with a title bar and
// a close button. An ad can also be fetched and loaded in the background
// (preloadAd) and shown later in one step. Every request ends with the ad
// on screen or with a close whose type says why; the host hears of it
// through the delegate. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkasa_sdk_ios/AdkasaBaseView.h"

class ADKSGradientButton;
class ADKSWebPopupView;
class AdkasaPopupToolbar;
class AdkasaPopupView;

namespace KelpaPlatform {
class UIActivityIndicatorView;
class UIButton;
class UIImageView;
class UILabel;
}  // namespace KelpaPlatform

// Close types: why the last request ended.
constexpr int32_t kAdkasaCloseByUser = 100;
constexpr int32_t kAdkasaCloseSkipped = 101;
constexpr int32_t kAdkasaCloseLimit = 102;
constexpr int32_t kAdkasaCloseNoNetwork = 103;
constexpr int32_t kAdkasaCloseNoConfiguration = 104;
// The ad could not be loaded: the page failed, the configuration held no ad
// to show, or nothing had come on screen within kAdkasaRequestTimeLimit.
constexpr int32_t kAdkasaCloseNotLoaded = 105;

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

// The dim layer: takes every touch in its frame and passes none on.
class DisableTouchView : public KelpaPlatform::UIView {
public:
    using UIView::UIView;
    void touchesBegan(const KelpaPlatform::UITouchSet&) override {}
    void touchesMoved(const KelpaPlatform::UITouchSet&) override {}
    void touchesEnded(const KelpaPlatform::UITouchSet&) override {}
    void touchesCancelled(const KelpaPlatform::UITouchSet&) override {}
};

class AdkasaPopupView : public AdkasaBaseView {
public:
    // How long a request may take to put its ad on screen (or, preloading,
    // to load it) before it ends as not loaded.
    static constexpr double kAdkasaRequestTimeLimit = 20.0;
    // Preloads after failures wait 1 s, then twice as long each time, up
    // to a minute.
    static constexpr double kFirstRetryWait = 1.0;
    static constexpr double kLongestRetryWait = 60.0;

    // init
    AdkasaPopupView();
    ~AdkasaPopupView() override;

    // Not retained.
    virtual void setDelegate(AdkasaPopupViewDelegate* delegate) { delegate_ = delegate; }
    AdkasaPopupViewDelegate* delegate() const { return delegate_; }

    virtual void setSchedule(int32_t every) { scheduleNum_ = every; }
    int32_t getSchedule() const { return scheduleNum_; }
    virtual void setScheduleFirst(int32_t first) { scheducleFirstNum_ = first; }
    int32_t getScheduleFirst() const { return scheducleFirstNum_; }
    void setMaxDisplay(int32_t limit) { maxDisplayNum_ = limit; }
    int32_t getMaxDisplay() const { return maxDisplayNum_; }
    virtual void setDisplayCount(int32_t count);
    virtual int32_t getDisplayCount() const;

    // A request shown at once.
    virtual void startShowAd();
    // Fetches and loads the next ad in the background.
    virtual void preloadAd();
    // Shows the preloaded ad, else startShowAd.
    virtual void preloadShowAd();
    // Why the last request ended (0 while one is under way).
    virtual int32_t closeType() const { return closeType_; }

    void testModeEnable() { testMode_ = true; }
    void testModeDisable() { testMode_ = false; }
    void setBarGradient(const KelpaPlatform::UIColor& start, const KelpaPlatform::UIColor& end);
    void setBorderColor(const std::optional<KelpaPlatform::UIColor>& colour) { borderColor_ = colour; }
    void setTitleImageView(std::shared_ptr<KelpaPlatform::UIImageView> view) { titleImageView_ = std::move(view); }
    void setIntersAdType(int32_t type) { intersAdType_ = type; }
    ADKSWebPopupView* getIntersAdWebView() const { return adWebView_.get(); }
    AdkasaManager* getManager() override { return manager_.get(); }
    void slotAdTapped() override;

    // From the web view: a page load finished, or the ad could not load.
    void loadFinish() override;
    void loadFailed() override;
    // The manager's notifications.
    void adFetchedNotification();
    void adFetchedFailedNotification();
    void didRotate();
    // Either close button.
    void pushCloseButton();
    void closeAdView();

    // State, for the host's tests and ours.
    bool adDisplay() const { return adDisplay_; }
    bool showAdFlg() const { return showAdFlg_; }
    bool preloadFlg() const { return preloadFlg_; }
    bool loadedAdFlg() const { return loadedAdFlg_; }
    bool needsUpdateAd() const { return needsUpdateAd_; }
    int32_t currentAdIndex() const { return currentAdIndex_; }
    int64_t scheduleCount() const;
    KelpaPlatform::UIView* backgroundView() const { return backgroundView_.get(); }
    KelpaPlatform::UIView* indicatorBack() const { return indicatorBack_.get(); }
    KelpaPlatform::UIView* adBaseView() const { return adBaseView_.get(); }
    AdkasaPopupToolbar* popupToolbar() const { return popupToolbar_.get(); }
    KelpaPlatform::UILabel* titleLabel() const { return titleLabel_.get(); }
    KelpaPlatform::UIButton* closeNewButton() const { return closeNewButton_.get(); }
    ADKSGradientButton* closeButton() const { return closeButton_.get(); }

protected:
    int32_t closeType_ = 0;

private:
    void addScheduleNum();
    void addDisplayNum();
    // True when the request may show; otherwise it has been ended.
    bool showGate();
    // Fetches (when needed) and loads the next ad, unless offline.
    void beginRequest(bool preload);
    void coverScreen();
    void makeLoadingBox();
    void stopIndicator();
    void setupWebView();
    void popupshowAd();
    void showAdView();
    bool isInMobiIntersAd() const;
    void framedLayout(double w, double h);
    void fullScreenLayout(double w, double h);
    void rotateForStatusBar(double w, double h);
    std::string word(const char* english, const char* japanese) const;

    // Ends the request under way as failed: close, then the failure.
    void fail();
    // The same on a later turn of the main loop (or `seconds` later); one
    // at a time.
    void failSoon(double seconds = 0);
    void armWatchdog();
    void disarmWatchdog();
    // Runs `fn` with failures held back to a later turn (a failure that
    // came while a load was being started must not reach the host inside
    // the host's own call).
    template <class F>
    void starting(F fn);
    void after(double seconds, std::function<void(AdkasaPopupView*)> fn, uint64_t* id = nullptr);

    bool needsUpdateAd_ = false;
    bool testMode_ = false;
    bool adDisplay_ = false;
    bool showAdFlg_ = false;
    bool preloadFlg_ = false;
    bool loadedAdFlg_ = false;
    int32_t currentAdIndex_ = -1;
    int32_t scheduleNum_ = 1;
    int32_t maxDisplayNum_ = 0;
    int32_t intersAdType_ = 0;
    int32_t scheducleFirstNum_ = 1;
    AdkasaPopupViewDelegate* delegate_ = nullptr;
    std::unique_ptr<AdkasaManager> manager_;
    std::shared_ptr<KelpaPlatform::UIActivityIndicatorView> indicator_;
    std::shared_ptr<AdkasaPopupToolbar> popupToolbar_;
    std::shared_ptr<KelpaPlatform::UILabel> titleLabel_;
    std::shared_ptr<KelpaPlatform::UIImageView> titleImageView_;
    std::optional<KelpaPlatform::UIColor> borderColor_;
    std::shared_ptr<KelpaPlatform::UIView> adBaseView_;
    std::shared_ptr<KelpaPlatform::UIView> backgroundView_;
    std::shared_ptr<ADKSWebPopupView> adWebView_;
    std::shared_ptr<KelpaPlatform::UIView> indicatorBack_;
    std::shared_ptr<ADKSGradientButton> closeButton_;
    std::shared_ptr<KelpaPlatform::UIButton> closeNewButton_;

    int starting_ = 0;            // depth of calls that start loads
    bool failPending_ = false;    // a failure is waiting for its turn
    uint64_t failTimer_ = 0;
    uint64_t watchdog_ = 0;
    uint64_t retryTimer_ = 0;     // a preload held back after failures
    int failures_ = 0;            // in a row, for the preload's wait
    double nextPreloadAt_ = 0;
};
