#include "adkasa_sdk_ios/ADKSWebPopupView.h"

#include "adkasa_sdk_ios/AdkasaBaseView.h"

using namespace KelpaPlatform;

ADKSWebPopupView::ADKSWebPopupView(const CGRect& frame) : AdSlotWebView(frame) { inmobiManager().setAdsize(10); }

AdkasaBaseView* ADKSWebPopupView::owner() const { return parentView_; }

void ADKSWebPopupView::setInmobiAdSize(int32_t size) { inmobiManager().setAdsize(size); }

void ADKSWebPopupView::failed() {
    if (parentView_) parentView_->loadFailed();
}

bool ADKSWebPopupView::loadsNothingFor(const ADKSJSAdEntity& entity) {
    if (entity.adNetworkKey().value_or("") != adks::kKeyNoAd) return false;
    failed();
    return true;
}

void ADKSWebPopupView::showInMobiAnswer(const std::string& markup) {
    if (markup.empty() || markup.find(kInMobiNoAdMarker) != std::string::npos) {
        failed();
        return;
    }
    // One load: a second one of the same page would show the frame on the
    // first finish and then load the creative again under it (or, where the
    // engine fails the replaced load, end the interstitial).
    loadPage(adks::interstitialWrapper(adDataBgColor(), markup));
}

void ADKSWebPopupView::showNetworkAnswer(const std::string& markup) {
    if (markup.empty()) {
        failed();
        return;
    }
    loadPage(markup);
}

// Counted when a load starts rather than when a navigation is let through:
// a navigation replaced before it starts never ends, and the owner waits
// for the two counts to meet.
void ADKSWebPopupView::webViewDidStartLoad(UIWebView*) { ++shouldCnt_; }

void ADKSWebPopupView::webViewDidFinishLoad(UIWebView* webView) {
    AdSlotWebView::webViewDidFinishLoad(webView);
    ++finishCnt_;
    if (parentView_) parentView_->loadFinish();
}

void ADKSWebPopupView::webViewDidFailLoadWithError(UIWebView*, const std::string&) {
    ++finishCnt_;
    failed();
}
