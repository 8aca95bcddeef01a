#include "adkasa_sdk_ios/AdkasaPopupView.h"

#include <algorithm>
#include <cmath>

#include "adkasa_sdk_ios/ADKSAdSlotWebView.h"
#include "adkasa_sdk_ios/ADKSGradientButton.h"
#include "adkasa_sdk_ios/ADKSWebPopupView.h"
#include "adkasa_sdk_ios/AdkasaManager.h"
#include "adkasa_sdk_ios/AdkasaPopupToolbar.h"
#include "platform/ns/NSNotificationCenter.h"
#include "platform/ns/NSUserDefaults.h"
#include "platform/ui/UIActivityIndicatorView.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIColorNames.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"

using namespace KelpaPlatform;

namespace {

constexpr int64_t kCounterWrap = 2000000000;
constexpr uint32_t kFlexibleMargins = UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                                      UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin;
constexpr uint32_t kFlexibleSize = UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight;
const char* const kOrientationNotification = "UIDeviceOrientationDidChangeNotification";

std::shared_ptr<Clock> adClock() { return AdkasaEnvironment::shared().clock; }

}  // namespace

AdkasaPopupView::AdkasaPopupView() : AdkasaBaseView(CGRect()) {
    setBackgroundColor(std::nullopt);
    manager_ = std::make_unique<AdkasaManager>();
    manager_->setView(this);
    manager_->registerFetchNotification(this, [this] { adFetchedNotification(); });
    manager_->registerFetchFailedNotification(this, [this] { adFetchedFailedNotification(); });
    manager_->setGetinfoTimeOut(2);

    adBaseView_ = std::make_shared<UIView>(CGRectMake(0, 0, 310, 300));
    adBaseView_->setBackgroundColor(blackColor());
    adBaseView_->setAutoresizingMask(kFlexibleMargins);
    setAutoresizingMask(kFlexibleSize);

    NSNotificationCenter::defaultCenter().addObserver(this, kOrientationNotification,
                                                      [this](const void*) { didRotate(); });

    popupToolbar_ = std::make_shared<AdkasaPopupToolbar>(CGRectMake(0, 0, 310, 42));
    titleLabel_ = std::make_shared<UILabel>(CGRectMake(4, 5, 220, 33));
    titleLabel_->setText("おすすめ");
    titleLabel_->setFont(UIFont::boldSystemFontOfSize(15));
    titleLabel_->setTextColor(whiteColor());
    titleLabel_->setBackgroundColor(std::nullopt);
}

AdkasaPopupView::~AdkasaPopupView() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
    auto c = adClock();
    for (uint64_t id : {failTimer_, watchdog_, retryTimer_}) {
        if (id) c->cancel(id);
    }
    if (indicator_) indicator_->stopAnimating();
    if (adWebView_) {
        adWebView_->setParentView(nullptr);
        adWebView_->stopLoading();
    }
    manager_->setView(nullptr);
    delegate_ = nullptr;
}

void AdkasaPopupView::after(double seconds, std::function<void(AdkasaPopupView*)> fn, uint64_t* id) {
    std::weak_ptr<UIView> weak = weak_from_this();
    uint64_t made = adClock()->schedule(seconds, [weak, fn = std::move(fn), id]() {
        auto self = weak.lock();
        if (!self) return;
        if (id) *id = 0;
        fn(static_cast<AdkasaPopupView*>(self.get()));
    });
    if (id) *id = made;
}

template <class F>
void AdkasaPopupView::starting(F fn) {
    ++starting_;
    fn();
    --starting_;
}

// Counters.

int64_t AdkasaPopupView::scheduleCount() const {
    return AdkasaEnvironment::shared().defaults()->integerForKey("AdkasaSche" + appID()).value_or(0);
}

int32_t AdkasaPopupView::getDisplayCount() const {
    return int32_t(uint32_t(
        uint64_t(AdkasaEnvironment::shared().defaults()->integerForKey("AdkasaDispNum" + appID()).value_or(0))));
}

void AdkasaPopupView::setDisplayCount(int32_t count) {
    auto defaults = AdkasaEnvironment::shared().defaults();
    defaults->setInteger("AdkasaDispNum" + appID(), int64_t(count));
    defaults->synchronize();
}

void AdkasaPopupView::addScheduleNum() {
    int64_t k = scheduleCount();
    auto defaults = AdkasaEnvironment::shared().defaults();
    defaults->setInteger("AdkasaSche" + appID(), k <= kCounterWrap ? k + 1 : 1);
    defaults->synchronize();
}

void AdkasaPopupView::addDisplayNum() {
    int64_t k = getDisplayCount();
    auto defaults = AdkasaEnvironment::shared().defaults();
    defaults->setInteger("AdkasaDispNum" + appID(), k <= kCounterWrap ? k + 1 : 1);
    defaults->synchronize();
}

bool AdkasaPopupView::showGate() {
    int64_t count = scheduleCount();
    int64_t every = scheduleNum_;
    int64_t r = (every == 0 || every == -1) ? (every == 0 ? count : 0) : count - (count / every) * every;
    if (r != int64_t(scheducleFirstNum_) - 1) {
        addScheduleNum();
        closeType_ = kAdkasaCloseSkipped;
        closeAdView();
        return false;
    }
    // With a limit of M, at most M ads come on screen.
    if (maxDisplayNum_ >= 1 && getDisplayCount() >= maxDisplayNum_) {
        addScheduleNum();
        closeType_ = kAdkasaCloseLimit;
        closeAdView();
        return false;
    }
    return true;
}

std::string AdkasaPopupView::word(const char* english, const char* japanese) const {
    return AdkasaManager::stringCurrentContryCode() == "ja" ? japanese : english;
}

// Requests.

void AdkasaPopupView::coverScreen() {
    CGRect area = superview() ? superview()->bounds() : CGRect();
    setFrame(area);
    setBackgroundColor(std::nullopt);
    if (!backgroundView_) {
        backgroundView_ = std::make_shared<DisableTouchView>(area);
        backgroundView_->setBackgroundColor(lightGrayColor());
        backgroundView_->setAlpha(0.3);
        backgroundView_->setAutoresizingMask(kFlexibleSize);
        addSubview(backgroundView_);
    }
}

void AdkasaPopupView::makeLoadingBox() {
    stopIndicator();  // one box at a time
    double w = frame().size.width, h = frame().size.height;
    indicatorBack_ = std::make_shared<UIView>(CGRectMake((w - 130) / 2, (h - 100) / 2, 130, 100));
    indicatorBack_->setBackgroundColor(blackColor());
    indicatorBack_->layer().cornerRadius = 20;
    indicatorBack_->setAlpha(0.8);
    std::string text = word("Loading...", "読み込み中...");
    UIFont font = UIFont::boldSystemFontOfSize(16);
    CGSize ts = UILabel::sizeOfText(text, font);
    auto label = std::make_shared<UILabel>(CGRectMake((130 - ts.width) / 2, 100 - ts.height - 15, ts.width, ts.height));
    label->setText(text);
    label->setFont(font);
    label->setTextColor(whiteColor());
    label->setBackgroundColor(std::nullopt);
    indicatorBack_->addSubview(label);
    indicator_ = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyle::WhiteLarge, adClock());
    indicator_->setFrame(CGRectMake(0, double(100.0f / 3.0f - 50.0f), 130, 100));
    indicator_->setAutoresizingMask(kFlexibleSize);
    indicatorBack_->addSubview(indicator_);
    indicator_->startAnimating();
    addSubview(indicatorBack_);
}

void AdkasaPopupView::stopIndicator() {
    if (indicator_) {
        indicator_->stopAnimating();
        indicator_.reset();
    }
    if (indicatorBack_) {
        indicatorBack_->removeFromSuperview();
        indicatorBack_.reset();
    }
}

void AdkasaPopupView::startShowAd() {
    // A request, a failure on its way or a close under way: nothing new.
    if (adDisplay_ || showAdFlg_ || failPending_) return;
    closeType_ = 0;
    adBaseView_->setRotation(0);
    if (!showGate()) return;
    coverScreen();
    makeLoadingBox();
    beginRequest(false);
}

void AdkasaPopupView::beginRequest(bool preload) {
    if (!manager_->isNetworkAvailable()) {
        adDisplay_ = false;
        closeType_ = kAdkasaCloseNoNetwork;
        failSoon(0.5);
        return;
    }
    needsUpdateAd_ = true;
    adDisplay_ = true;
    if (preload) preloadFlg_ = true;
    manager_->setHttpRetryCount(24);  // one more failure falls back to the cache at once
    armWatchdog();
    starting([this] {
        if (manager_->isAdFetched()) {
            popupshowAd();
        } else {
            manager_->updateAd();
        }
    });
}

void AdkasaPopupView::preloadAd() {
    if (adDisplay_ || showAdFlg_ || failPending_) return;
    // After failures the next try waits its turn, so that a host that asks
    // again at every failure cannot drive a loop.
    double now = adClock()->now();
    if (now < nextPreloadAt_) {
        if (!retryTimer_) after(nextPreloadAt_ - now, [](AdkasaPopupView* self) { self->preloadAd(); }, &retryTimer_);
        return;
    }
    // No show gate, no frame, no dim layer and no box.
    beginRequest(true);
}

void AdkasaPopupView::preloadShowAd() {
    std::shared_ptr<AdkasaData> data = manager_->adData();
    if (!data || data->adList.empty()) preloadFlg_ = false;
    if (!preloadFlg_) {
        startShowAd();
        return;
    }
    if (showAdFlg_ || failPending_) return;
    closeType_ = 0;
    adBaseView_->setRotation(0);
    if (!showGate()) return;  // the preload stays for a later request
    if (!adDisplay_) return;
    coverScreen();
    showAdView();
    preloadFlg_ = false;
}

void AdkasaPopupView::setupWebView() {
    if (adWebView_) return;
    adWebView_ = std::make_shared<ADKSWebPopupView>(CGRectMake(0, 0, 300, 250));
    adWebView_->setScalesPageToFit(false);
    adWebView_->setBackgroundColor(std::nullopt);
    adWebView_->setTestMode(testMode_);
    adWebView_->scrollView().bounces = false;
    adWebView_->setParentView(this);
}

bool AdkasaPopupView::isInMobiIntersAd() const {
    auto data = manager_->adData();
    if (!data || currentAdIndex_ < 0 || size_t(currentAdIndex_) >= data->adList.size()) return false;
    return data->adList[size_t(currentAdIndex_)]->adNetworkKey().value_or("") == adks::kKeyInMobi && intersAdType_ == 1;
}

void AdkasaPopupView::popupshowAd() {
    setupWebView();
    loadedAdFlg_ = false;
    std::shared_ptr<ADKSJSAdEntity> entity = manager_->nextAdEntity(&currentAdIndex_);
    if (!entity) {
        // No ad to choose: the request ends rather than leaving the dim
        // layer up.
        if (adDisplay_) {
            closeType_ = kAdkasaCloseNotLoaded;
            preloadFlg_ = false;
            failSoon();
        }
        return;
    }
    // Colour and size first: a network that answers at once builds its page
    // with them.
    auto data = manager_->adData();
    adWebView_->setAdDataBgColor(data ? data->bgColor : std::string());
    adWebView_->setInmobiAdSize(isInMobiIntersAd() ? 14 : 10);
    adWebView_->loadHtmlFromEntity(entity);
}

void AdkasaPopupView::adFetchedNotification() {
    if (needsUpdateAd_) starting([this] { popupshowAd(); });
}

void AdkasaPopupView::adFetchedFailedNotification() {
    // A fetch that no request waits for any more has no one to tell.
    if (!adDisplay_) return;
    closeType_ = kAdkasaCloseNoConfiguration;
    preloadFlg_ = false;
    if (starting_) {
        failSoon();
    } else {
        fail();
    }
}

void AdkasaPopupView::loadFinish() {
    stopIndicator();
    if (!loadedAdFlg_ && delegate_) delegate_->adkasaViewDidFinishLoadAdData(this);
    loadedAdFlg_ = true;
    if (preloadFlg_) {
        if (adDisplay_) {
            disarmWatchdog();  // loaded: it waits for its show
            failures_ = 0;
            nextPreloadAt_ = 0;
        }
    } else {
        showAdView();
    }
}

void AdkasaPopupView::loadFailed() {
    if (adWebView_ && adWebView_->shouldCnt() != adWebView_->finishCnt()) return;  // other loads still running
    if (!adDisplay_) return;  // nothing under way: a page left over from an ended request
    closeType_ = kAdkasaCloseNotLoaded;
    if (starting_) {
        failSoon();
    } else {
        fail();
    }
}

void AdkasaPopupView::fail() {
    if (failTimer_) {
        adClock()->cancel(failTimer_);
        failTimer_ = 0;
    }
    failPending_ = false;
    stopIndicator();
    // Spaced preloads from now on, until an ad loads.
    ++failures_;
    double wait = std::min(kFirstRetryWait * std::pow(2.0, double(std::min(failures_ - 1, 30))), kLongestRetryWait);
    nextPreloadAt_ = adClock()->now() + wait;
    std::weak_ptr<UIView> alive = weak_from_this();
    closeAdView();
    if (alive.expired()) return;
    if (delegate_) delegate_->adkasaViewAdFailed(this);
}

void AdkasaPopupView::failSoon(double seconds) {
    if (failPending_) return;
    failPending_ = true;
    after(seconds, [](AdkasaPopupView* self) { self->fail(); }, &failTimer_);
}

void AdkasaPopupView::armWatchdog() {
    disarmWatchdog();
    after(
        kAdkasaRequestTimeLimit,
        [](AdkasaPopupView* self) {
            if (!self->adDisplay_ || self->showAdFlg_) return;
            if (self->adWebView_) self->adWebView_->stopLoading();
            self->closeType_ = kAdkasaCloseNotLoaded;
            self->preloadFlg_ = false;
            self->fail();
        },
        &watchdog_);
}

void AdkasaPopupView::disarmWatchdog() {
    if (watchdog_) adClock()->cancel(watchdog_);
    watchdog_ = 0;
}

void AdkasaPopupView::showAdView() {
    if (!adDisplay_ || showAdFlg_) return;
    disarmWatchdog();
    adBaseView_->addSubview(adWebView_);
    adWebView_->postAdDisplayed();
    showAdFlg_ = true;
    double w = frame().size.width, h = frame().size.height;
    if (isInMobiIntersAd()) {
        fullScreenLayout(w, h);
    } else {
        framedLayout(w, h);
    }
    adBaseView_->setAlpha(0.0);
    addSubview(adBaseView_);
    auto base = adBaseView_;
    UIView::animateWithDuration(
        0.2, 0, UIViewAnimationOptionCurveLinear | UIViewAnimationOptionAllowUserInteraction,
        [base] { base->setAlpha(1.0); }, nullptr, adClock());
    addDisplayNum();
    addScheduleNum();
    failures_ = 0;
    nextPreloadAt_ = 0;
    if (delegate_) delegate_->adkasaViewDidFinishLoad(this);
}

void AdkasaPopupView::framedLayout(double w, double h) {
    adBaseView_->addSubview(popupToolbar_);
    std::weak_ptr<UIView> weak = weak_from_this();
    auto close = [weak](UIControl*) {
        if (auto self = weak.lock()) static_cast<AdkasaPopupView*>(self.get())->pushCloseButton();
    };
    closeNewButton_ = std::make_shared<UIButton>(CGRectMake(268, 5, 37, 33));
    if (auto image = UIImage::imageNamed("adksinters_close.png")) {
        closeNewButton_->setImage(image, UIControlStateNormal);
    } else {
        closeNewButton_->setFrame(CGRectMake(248, 5, 57, 33));
        closeNewButton_->setTitle(word("Close", "閉じる"), UIControlStateNormal);
        closeNewButton_->setTitleColor(grayColor(), UIControlStateNormal);
    }
    closeNewButton_->addTarget(close, UIControlEventTouchUpInside);
    popupToolbar_->addSubview(closeNewButton_);

    UIViewLayer& layer = adBaseView_->layer();
    layer.borderColor = borderColor_ ? *borderColor_ : colorWithRGBA(34 / 255.0, 137 / 255.0, 0, 1);
    layer.borderWidth = 1.0;
    layer.cornerRadius = 8.0;
    layer.masksToBounds = true;
    adWebView_->setFrame(CGRectMake(5, 46, 300, 250));
    adBaseView_->setFrame(CGRectMake((w - 310) / 2, (h - 300) / 2, 310, 300));
    adBaseView_->setRotation(0);
    adBaseView_->setAutoresizingMask(kFlexibleMargins);
    setAutoresizingMask(kFlexibleSize);
    if (titleImageView_) {
        titleLabel_->removeFromSuperview();
        popupToolbar_->addSubview(titleImageView_);
    } else {
        popupToolbar_->addSubview(titleLabel_);
    }
}

void AdkasaPopupView::fullScreenLayout(double w, double h) {
    std::string close = word("Close", "閉じる");
    closeButton_ = std::make_shared<ADKSGradientButton>(CGRectMake(0, 255, 300, 40), uint64_t(1));
    closeButton_->setText(close);
    std::weak_ptr<UIView> weak = weak_from_this();
    closeButton_->addTarget(
        [weak](UIControl*) {
            if (auto self = weak.lock()) static_cast<AdkasaPopupView*>(self.get())->pushCloseButton();
        },
        UIControlEventTouchUpInside);
    popupToolbar_->removeFromSuperview();
    UIViewLayer& layer = adBaseView_->layer();
    layer.borderColor = clearColor();
    layer.cornerRadius = 0;
    layer.masksToBounds = false;
    adBaseView_->setFrame(CGRectMake((w - 320) / 2, (h - 480) / 2, 320, 480));
    adWebView_->setFrame(CGRectMake(0, 0, 320, 480));
    closeButton_->setFrame(CGRectMake(220, 0, 100, 70));
    closeButton_->setText("X " + close);
    closeButton_->setBorderColor(clearColor());
    closeButton_->setTextColor(whiteColor());
    closeButton_->setTintColor(blackColor());
    closeButton_->setHighlightedBorderColor(clearColor());
    closeButton_->setHighlightedTintColor(blackColor());
    closeButton_->setHighlightedTextColor(colorWithRGBA(0, 157 / 255.0, 1, 1));
    closeButton_->titleLabel()->setFont(UIFont::boldSystemFontOfSize(20));
    adBaseView_->addSubview(closeButton_);
    rotateForStatusBar(w, h);
}

void AdkasaPopupView::rotateForStatusBar(double w, double h) {
    if (!(w < 480 || h < 480)) return;
    adBaseView_->setRotation(0);
    UIApplication* app = UIApplication::shared();
    int orientation = app ? app->statusBarOrientation() : 1;
    if (orientation == 3) adBaseView_->setRotation(-M_PI / 2);
    if (orientation == 4) adBaseView_->setRotation(M_PI / 2);
}

void AdkasaPopupView::didRotate() {
    if (!isInMobiIntersAd() || !showAdFlg_) return;
    rotateForStatusBar(frame().size.width, frame().size.height);
}

void AdkasaPopupView::pushCloseButton() {
    adDisplay_ = false;
    if (adWebView_) adWebView_->cleanForLoadHtml();
    closeType_ = kAdkasaCloseByUser;
    after(0.1, [](AdkasaPopupView* self) { self->closeAdView(); });
}

void AdkasaPopupView::closeAdView() {
    adDisplay_ = false;
    showAdFlg_ = false;
    disarmWatchdog();
    // A box left behind would come back with the view at the next request.
    stopIndicator();
    std::shared_ptr<UIView> keep = shared_from_this();
    removeFromSuperview();
    if (backgroundView_) {
        backgroundView_->removeFromSuperview();
        backgroundView_.reset();
    }
    adBaseView_->removeFromSuperview();
    if (closeButton_) {
        closeButton_->removeFromSuperview();
        closeButton_.reset();
    }
    if (closeNewButton_) {
        closeNewButton_->removeFromSuperview();
        closeNewButton_.reset();
    }
    if (titleImageView_) {
        titleImageView_->removeFromSuperview();
    } else {
        titleLabel_->removeFromSuperview();
    }
    if (delegate_) delegate_->adkasaViewAdClose(this);
}

void AdkasaPopupView::setBarGradient(const UIColor& start, const UIColor& end) {
    popupToolbar_->setStartColor(start);
    popupToolbar_->setEndColor(end);
}

void AdkasaPopupView::slotAdTapped() {
    if (delegate_) delegate_->adkasaViewAdTapped(this);
}
