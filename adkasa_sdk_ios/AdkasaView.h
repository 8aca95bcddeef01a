// The banner: shows the ads of one placement, one at a time, in two ad
// slots that it alternates. One slot is on screen while the other loads
// the next ad; at each tick of the rotation timer (the configuration's
// cycle) the hidden slot is swapped in, with a transition, only when it
// renders something other than one uniform colour. The host makes it with
// a frame, gives it a delegate, a placement identifier and a transition
// time, and starts (startShowAd) and stops it (stopUpdating, then
// removeFromSuperview) as the game wants it. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkasa_sdk_ios/AdkasaBaseView.h"
#include "platform/ns/NSTimer.h"

class AdkasaManager;
class AdkasaView;
class ADKSJSAdEntity;
class ADKSWebView;

namespace KelpaPlatform {
class UIImageView;
}

// Every method is optional: the defaults do nothing.
class AdkasaViewDelegate {
public:
    virtual ~AdkasaViewDelegate() = default;
    virtual void adkasaViewDidFinishLoad(AdkasaView* view) { (void)view; }
    virtual void adkasaViewAdTapped(AdkasaView* view) { (void)view; }
    virtual void adkasaViewAdFailed(AdkasaView* view) { (void)view; }
};

// Transition codes (the low 32 bits are compared).
constexpr uint32_t kAdkasaTransitionNone = 0;
constexpr uint32_t kAdkasaTransitionFlipFromLeft = 0x100000;
constexpr uint32_t kAdkasaTransitionFlipFromRight = 0x200000;
constexpr uint32_t kAdkasaTransitionCurlUp = 0x300000;
constexpr uint32_t kAdkasaTransitionCurlDown = 0x400000;
constexpr uint32_t kAdkasaTransitionFadeIn = 0x400001;
constexpr uint32_t kAdkasaTransitionFadeOut = 0x400002;
constexpr uint32_t kAdkasaTransitionRandom = 0x400003;
constexpr uint32_t kAdkasaTransitionCustom = 0x400004;

class AdkasaView : public AdkasaBaseView {
public:
    // The custom transition: called on the receiver with the banner, the
    // outgoing slot's picture (already in the banner, under the incoming
    // slot) and the incoming slot; it owns the animation and the picture's
    // removal.
    using CustomAnimationMethod = void (*)(void* receiver, AdkasaView* banner,
                                           const std::shared_ptr<KelpaPlatform::UIImageView>& snapshot,
                                           const std::shared_ptr<ADKSWebView>& incoming);

    // initWithFrame:
    explicit AdkasaView(const KelpaPlatform::CGRect& frame);
    ~AdkasaView() override;

    // Not retained.
    virtual void setDelegate(AdkasaViewDelegate* delegate) { delegate_ = delegate; }
    AdkasaViewDelegate* delegate() const { return delegate_; }

    virtual void setTransitionDulation(float seconds) { transitionDulation_ = seconds; }
    float transitionDulation() const { return transitionDulation_; }
    void setTransitionType(uint64_t type) { transitionType_ = type; }
    uint64_t transitionType() const { return transitionType_; }
    void setCustomAnimationClass(void* receiver) { customAnimationClass_ = receiver; }
    void setCustomAnimationCalss(void* receiver) { setCustomAnimationClass(receiver); }
    void setCustomAnimationMethod(CustomAnimationMethod method) { customAnimationMethod_ = method; }

    // Starts (or resumes) showing ads; the view is in its superview.
    virtual void startShowAd();
    // Stops the rotation; a configuration answered later does not restart
    // it. A swap already scheduled still runs.
    virtual void stopUpdating();
    void removeFromSuperview() override;

    void testModeEnable() { testMode_ = true; }
    void testModeDisable() { testMode_ = false; }
    bool testMode() const { return testMode_; }

    AdkasaManager* getManager() override { return manager_.get(); }
    void slotAdTapped() override;
    // True while the stored next-update date read by startShowAd lies ahead.
    bool isAdFetched() const;
    // Makes new web views say they carry the partner network's marker.
    void setUserAgentYDN();

    // One rotation step.
    void updateAd();
    void timerFired(KelpaPlatform::NSTimer* timer);
    void adFetchedNotification();
    void adFetchedFailedNotification();

    std::shared_ptr<ADKSWebView> setupWebView();
    void setupWebViewArray();
    // The swap: `incoming` comes on screen, `outgoing` goes and starts
    // loading `next` (when there is one).
    void changeAdWebView(const std::shared_ptr<ADKSWebView>& incoming, const std::shared_ptr<ADKSWebView>& outgoing,
                         std::shared_ptr<ADKSJSAdEntity> next);

    bool needsUpdateAd() const { return needsUpdateAd_; }
    int32_t currentAdIndex() const { return currentAdIndex_; }
    int32_t nextViewIndex() const { return nextViewIndex_; }
    const std::vector<std::shared_ptr<ADKSWebView>>& webViewArray() const { return webViewArray_; }
    const std::shared_ptr<KelpaPlatform::NSTimer>& adTimer() const { return adTimer_; }
    // Read the first time it is asked for, not when the banner is made:
    // reading it starts the web engine, which need not delay the game's
    // first frame.
    const std::string& originUserAgent() const;
    const std::optional<double>& nextUpdateDate() const { return nextUpdateDate_; }
    // The wait before the banner asks again after a failed configuration.
    double failedFetchRetrySeconds() const { return failedRetrySeconds_; }

    static constexpr double kSwapDelaySeconds = 0.1;
    static constexpr double kFailedFetchFirstRetrySeconds = 30.0;
    static constexpr double kFailedFetchLongestRetrySeconds = 600.0;

private:
    void schedule(double seconds);
    void shown(ADKSWebView* slot);
    void cancelTimer();
    uint32_t pickTransition() const;

    bool needsUpdateAd_ = false;
    bool testMode_ = false;
    int32_t currentAdIndex_ = -1;
    int32_t nextViewIndex_ = 0;
    float transitionDulation_ = 0.5f;
    std::vector<std::shared_ptr<ADKSWebView>> webViewArray_;
    AdkasaViewDelegate* delegate_ = nullptr;
    std::shared_ptr<KelpaPlatform::NSTimer> adTimer_;
    std::unique_ptr<AdkasaManager> manager_;
    mutable std::optional<std::string> originUserAgent_;
    uint64_t transitionType_ = 0;
    void* customAnimationClass_ = nullptr;
    CustomAnimationMethod customAnimationMethod_ = nullptr;
    std::optional<double> nextUpdateDate_;
    double failedRetrySeconds_ = kFailedFetchFirstRetrySeconds;
    // Swaps scheduled and not yet run (cancelled when the banner goes).
    std::vector<uint64_t> pendingSwaps_;
};
