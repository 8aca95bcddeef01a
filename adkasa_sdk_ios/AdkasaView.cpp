#include "adkasa_sdk_ios/AdkasaView.h"

#include <algorithm>

#include "adkasa_sdk_ios/ADKSWebView.h"
#include "adkasa_sdk_ios/AdkasaManager.h"
#include "platform/ns/NSDeviceFacts.h"
#include "platform/ns/NSNotificationCenter.h"
#include "platform/ns/NSUserDefaults.h"
#include "platform/ui/UIImageView.h"

using namespace KelpaPlatform;

AdkasaView::AdkasaView(const CGRect& frame) : AdkasaBaseView(frame), manager_(std::make_unique<AdkasaManager>()) {
    manager_->setView(this);
    manager_->registerFetchNotification(this, [this] { adFetchedNotification(); });
    manager_->registerFetchFailedNotification(this, [this] { adFetchedFailedNotification(); });
}

const std::string& AdkasaView::originUserAgent() const {
    if (!originUserAgent_) originUserAgent_ = AdkasaEnvironment::shared().device()->webUserAgent();
    return *originUserAgent_;
}

AdkasaView::~AdkasaView() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
    cancelTimer();
    auto clock = AdkasaEnvironment::shared().clock;
    for (auto id : pendingSwaps_) clock->cancel(id);
    for (auto& slot : webViewArray_) {
        slot->setDelegate(nullptr);
        slot->stopLoading();
        slot->setParentView(nullptr);
    }
    webViewArray_.clear();
    manager_->setView(nullptr);
}

void AdkasaView::cancelTimer() {
    if (adTimer_) adTimer_->invalidate();
    adTimer_.reset();
}

void AdkasaView::startShowAd() {
    auto defaults = AdkasaEnvironment::shared().defaults();
    nextUpdateDate_ = defaults->dateForKey("AdkasaSDK_Next_Update_Date_" + appID());
    updateAd();
}

void AdkasaView::stopUpdating() {
    cancelTimer();
    needsUpdateAd_ = false;
}

void AdkasaView::removeFromSuperview() {
    cancelTimer();
    UIView::removeFromSuperview();
}

bool AdkasaView::isAdFetched() const {
    return nextUpdateDate_ && AdkasaEnvironment::shared().clock->now() < *nextUpdateDate_;
}

void AdkasaView::setUserAgentYDN() {
    const std::string& origin = originUserAgent();
    if (origin.find("YJIAdSDK/") != std::string::npos) return;
    setDefaultWebUserAgent(origin + " YJIAdSDK/");
}

void AdkasaView::slotAdTapped() {
    if (delegate_) delegate_->adkasaViewAdTapped(this);
}

std::shared_ptr<ADKSWebView> AdkasaView::setupWebView() {
    auto slot = std::make_shared<ADKSWebView>(bounds());
    slot->setScalesPageToFit(false);
    slot->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    slot->setBackgroundColor(std::nullopt);
    slot->setTestMode(testMode_);
    slot->scrollView().bounces = false;
    return slot;
}

void AdkasaView::setupWebViewArray() {
    if (!webViewArray_.empty()) return;
    for (int i = 0; i < 2; ++i) {
        auto slot = setupWebView();
        if (!slot) {
            webViewArray_.clear();
            return;
        }
        slot->setDelegate(slot.get());
        slot->setParentView(this);
        webViewArray_.push_back(slot);
    }
}

void AdkasaView::schedule(double seconds) {
    std::weak_ptr<UIView> weak = weak_from_this();
    adTimer_ = NSTimer::scheduledTimer(AdkasaEnvironment::shared().clock, seconds, [weak](NSTimer* t) {
        if (auto self = weak.lock()) static_cast<AdkasaView*>(self.get())->timerFired(t);
    });
}

void AdkasaView::timerFired(NSTimer* timer) {
    if (!timer || timer != adTimer_.get()) return;
    cancelTimer();
    updateAd();
}

void AdkasaView::shown(ADKSWebView* slot) {
    slot->postAdDisplayed();
    nextViewIndex_ = (nextViewIndex_ + 1) % 2;
}

void AdkasaView::updateAd() {
    cancelTimer();
    if (!manager_->isAdFetched()) {
        needsUpdateAd_ = true;
        manager_->updateAd();
        return;
    }
    bool showed = false;
    if (webViewArray_.empty()) {
        setupWebViewArray();
        if (webViewArray_.empty()) return;
        needsUpdateAd_ = false;
        for (auto& slot : webViewArray_) {
            if (auto entity = manager_->nextAdEntity(&currentAdIndex_)) {
                slot->loadHtmlFromEntity(entity);
                slot->setAdDataBgColor(manager_->adData() ? manager_->adData()->bgColor : std::string());
            }
        }
        addSubview(webViewArray_[0]);
        shown(webViewArray_[0].get());
        showed = true;
    } else {
        needsUpdateAd_ = false;
        std::shared_ptr<ADKSWebView> incoming = webViewArray_[size_t(nextViewIndex_)];
        if (incoming->currentEntity() && incoming->layerColorMatchCheck()) {
            std::shared_ptr<ADKSWebView> outgoing = webViewArray_[size_t((nextViewIndex_ + 1) % 2)];
            std::shared_ptr<ADKSJSAdEntity> next = manager_->nextAdEntity(&currentAdIndex_);
            // The swap holds its slots but not the banner: a banner that
            // goes first cancels it.
            auto clock = AdkasaEnvironment::shared().clock;
            auto id = std::make_shared<Clock::TimerId>(0);
            std::weak_ptr<UIView> weak = weak_from_this();
            *id = clock->schedule(kSwapDelaySeconds, [weak, incoming, outgoing, next, id]() {
                auto self = weak.lock();
                if (!self) return;
                auto* banner = static_cast<AdkasaView*>(self.get());
                auto& pending = banner->pendingSwaps_;
                pending.erase(std::remove(pending.begin(), pending.end(), *id), pending.end());
                banner->changeAdWebView(incoming, outgoing, next);
            });
            pendingSwaps_.push_back(*id);
            shown(incoming.get());
            showed = true;
        } else if (auto entity = manager_->nextAdEntity(&currentAdIndex_)) {
            incoming->loadHtmlFromEntity(entity);
        }
    }
    double cycle = manager_->adData() ? manager_->adData()->updateCycleTime : AdkasaData::kDefaultCycleTime;
    schedule(cycle);
    if (showed && delegate_) delegate_->adkasaViewDidFinishLoad(this);
}

void AdkasaView::adFetchedNotification() {
    failedRetrySeconds_ = kFailedFetchFirstRetrySeconds;
    if (needsUpdateAd_) updateAd();
}

void AdkasaView::adFetchedFailedNotification() {
    // A banner still waiting for its configuration asks again later, each
    // wait twice the last up to a bound, instead of staying empty until
    // the host starts it anew.
    if (needsUpdateAd_) {
        cancelTimer();
        schedule(failedRetrySeconds_);
        failedRetrySeconds_ = std::min(failedRetrySeconds_ * 2, kFailedFetchLongestRetrySeconds);
    }
    if (delegate_) delegate_->adkasaViewAdFailed(this);
}

uint32_t AdkasaView::pickTransition() const {
    static const uint32_t kinds[] = {kAdkasaTransitionNone, kAdkasaTransitionFlipFromLeft, kAdkasaTransitionFlipFromRight,
                                     kAdkasaTransitionCurlUp, kAdkasaTransitionCurlDown};
    return kinds[AdkasaEnvironment::shared().random()->next() % 5];
}

void AdkasaView::changeAdWebView(const std::shared_ptr<ADKSWebView>& incoming,
                                 const std::shared_ptr<ADKSWebView>& outgoing, std::shared_ptr<ADKSJSAdEntity> next) {
    if (!incoming || !outgoing) return;
    if (next) {
        outgoing->cleanForLoadHtml();
        outgoing->loadHtmlFromEntity(next);
    }
    incoming->setAlpha(1.0);
    outgoing->setAlpha(1.0);
    uint32_t type = uint32_t(transitionType_);
    if (type == kAdkasaTransitionRandom) type = pickTransition();
    if (manager_->adData() && manager_->adData()->ta_off == 1) type = kAdkasaTransitionNone;
    if (type == kAdkasaTransitionCustom && (!customAnimationClass_ || !customAnimationMethod_)) {
        type = kAdkasaTransitionNone;
    }

    auto clock = AdkasaEnvironment::shared().clock;
    double duration = transitionDulation_;
    const uint32_t fadeOptions = UIViewAnimationOptionCurveLinear | UIViewAnimationOptionAllowUserInteraction;
    std::shared_ptr<UIView> self = shared_from_this();
    switch (type) {
    case kAdkasaTransitionFlipFromLeft:
    case kAdkasaTransitionFlipFromRight:
    case kAdkasaTransitionCurlUp:
    case kAdkasaTransitionCurlDown:
        UIView::transitionWithView(
            self, duration, type, [this, incoming] { addSubview(incoming); },
            [outgoing](bool) { outgoing->removeFromSuperview(); }, clock);
        break;
    case kAdkasaTransitionFadeIn: {
        outgoing->removeFromSuperview();
        auto snapshot = outgoing->getScreenImageView();
        addSubview(snapshot);
        incoming->setAlpha(0.0);
        addSubview(incoming);
        UIView::animateWithDuration(
            duration, 0, fadeOptions, [incoming] { incoming->setAlpha(1.0); },
            [snapshot](bool) { snapshot->removeFromSuperview(); }, clock);
        break;
    }
    case kAdkasaTransitionFadeOut: {
        incoming->setAlpha(1.0);
        addSubview(incoming);
        outgoing->removeFromSuperview();
        auto snapshot = outgoing->getScreenImageView();
        addSubview(snapshot);
        UIView::animateWithDuration(
            duration, 0, fadeOptions, [snapshot] { snapshot->setAlpha(0.0); },
            [snapshot](bool) { snapshot->removeFromSuperview(); }, clock);
        break;
    }
    case kAdkasaTransitionCustom: {
        outgoing->removeFromSuperview();
        auto snapshot = outgoing->getScreenImageView();
        addSubview(snapshot);
        addSubview(incoming);
        customAnimationMethod_(customAnimationClass_, this, snapshot, incoming);
        break;
    }
    default:
        outgoing->removeFromSuperview();
        addSubview(incoming);
        break;
    }
}
